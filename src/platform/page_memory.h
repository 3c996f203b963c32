#pragma once
// Memory taken from the system in whole pages, for allocators that manage large regions
// themselves and must be able to give the memory back.
#include <cstddef>

namespace vx::platform {

// A zeroed, readable and writable region of `bytes`, starting at a multiple of `alignment`
// (a power of two); nullptr when the system has no memory for it. Pages are backed only once
// they are first touched (or by BackPages).
[[nodiscard]] void* MapPages(std::size_t bytes, std::size_t alignment) noexcept;
// Gives a region from MapPages back to the system, whole.
void UnmapPages(void* region, std::size_t bytes) noexcept;
// Backs the whole pages inside part of a writable region with memory at once, for a caller about
// to fill it: one call instead of a fault for every page as it is first touched. Where the
// system cannot, nothing changes; the contents stay as they are either way.
void BackPages(void* part, std::size_t bytes) noexcept;
// Gives the physical memory behind part of a region back; the part stays mapped and reads as
// zeros when it is next touched. `part` and `bytes` are multiples of the page size.
void DiscardPages(void* part, std::size_t bytes) noexcept;

}  // namespace vx::platform
