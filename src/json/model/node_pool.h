#pragma once
// Memory for the small nodes of the value tree (values, pairs, member lists and the texts of
// strings): a tree of many small strings would otherwise pay the heap's header and rounding on
// every node. Nodes of up to kMaxSize bytes come from free lists by size (8-byte steps) and
// from slabs carved without a header per node; each thread keeps its own lists, so allocating
// and freeing take no lock, and a node freed on any thread is reused by that thread's next
// node of its size. Slabs stay with the process. Larger blocks come from the heap.
//
// Sanitizer builds take every node from the heap, so that the address and leak checkers see
// each node on its own.
#include <cstddef>

namespace vx::json {

class TNodePool {
 public:
  static constexpr std::size_t kMaxSize = 1024;
  [[nodiscard]] static void* Allocate(std::size_t size);
  // size must be the size the block was allocated with.
  static void Free(void* p, std::size_t size) noexcept;
};

// The pool as the allocator of the member lists of objects and arrays.
template <class T>
struct TPoolAllocator {
  using value_type = T;
  TPoolAllocator() noexcept = default;
  template <class U>
  TPoolAllocator(const TPoolAllocator<U>&) noexcept {}  // NOLINT: converts like std::allocator
  [[nodiscard]] T* allocate(std::size_t n) { return static_cast<T*>(TNodePool::Allocate(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { TNodePool::Free(p, n * sizeof(T)); }
  friend bool operator==(const TPoolAllocator&, const TPoolAllocator&) noexcept { return true; }
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
