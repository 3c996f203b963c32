#pragma once
// Memory for the small, fixed-size nodes of the value tree (values and pairs) and for their
// texts. Nodes come from size classes of 8-byte steps up to 256 bytes and 64-byte steps up to
// 2 KiB, carved from 64 KiB slabs without a per-node
// header; each thread keeps its own free lists and trades whole batches with a shared pool, so
// allocating and freeing a node costs a few instructions and no lock. A node is still freed the
// moment its last reference goes: its slot returns to the free list of its size class and is
// reused by the next node of that size. A thread that has freed many nodes looks for slabs whose
// nodes are all free and gives them back, keeping a few per size class for reuse. Slabs are cut
// from 1 MiB chunks mapped from the system: the pages of a slab given back return to the system
// at once, and a chunk whose slabs are all given back is unmapped.
//
// Sanitizer builds hand every node to the ordinary heap instead, so that the address and leak
// checkers see each node on its own.
#include <cstddef>
#include <cstdint>
#include <new>

namespace vx::json {

class TNodePool {
 public:
  // Sizes up to kSmallMax step by kGrain, larger ones (the texts of long strings) by kLargeGrain.
  static constexpr std::size_t kGrain = 8;
  static constexpr std::size_t kSmallMax = 256;
  static constexpr std::size_t kLargeGrain = 64;
  static constexpr std::size_t kMaxSize = 2048;
  static constexpr std::size_t kSlabSize = 64 * 1024;

  // Memory for one node of this size (any size; sizes above kMaxSize go to the heap).
  [[nodiscard]] static void* Allocate(std::size_t size);
  // Gives back a node; size must be the size it was allocated with.
  static void Free(void* p, std::size_t size) noexcept;
  // Memory for the text of a node (the same size classes, not counted as a node).
  [[nodiscard]] static void* AllocateBlock(std::size_t size);
  static void FreeBlock(void* p, std::size_t size) noexcept;

  // Nodes allocated and not yet freed: those of threads that have ended plus the balance of
  // the calling thread (the balances of other running threads are not included).
  [[nodiscard]] static std::int64_t LiveNodes() noexcept;
  // Memory held in slabs, in use or free.
  [[nodiscard]] static std::size_t SlabBytes() noexcept;
  // Whether nodes come from the slabs (false in sanitizer builds).
  [[nodiscard]] static bool Pooled() noexcept;
};

// Class-specific allocation for node classes.
#define VX_JSON_POOLED_NODE                                         \
  static void* operator new(std::size_t size) {                     \
    return ::vx::json::TNodePool::Allocate(size);                   \
  }                                                                 \
  static void operator delete(void* p, std::size_t size) noexcept { \
    ::vx::json::TNodePool::Free(p, size);                           \
  }

}  // namespace vx::json
