#include "platform/page_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace vx::platform {

void* MapPages(std::size_t bytes, std::size_t alignment) noexcept {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  if (alignment < page) alignment = page;
  // Map enough to hold an aligned region, then unmap the ends around it.
  const std::size_t span = bytes + alignment - page;
  if (span < bytes) return nullptr;
  void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
  if (aligned > start) munmap(mapped, aligned - start);
  const std::uintptr_t end = aligned + bytes;
  if (start + span > end) munmap(reinterpret_cast<void*>(end), start + span - end);
  return reinterpret_cast<void*>(aligned);
}

void UnmapPages(void* region, std::size_t bytes) noexcept {
  if (region != nullptr) munmap(region, bytes);
}

void BackPages(void* part, std::size_t bytes) noexcept {
#ifdef MADV_POPULATE_WRITE
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(part);
  const std::uintptr_t from = (start + page - 1) & ~(page - 1);
  const std::uintptr_t to = (start + bytes) & ~(page - 1);
  // Older kernels refuse the advice; their pages are then backed as they are touched.
  if (to > from) (void)madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)part;
  (void)bytes;
#endif
}

void DiscardPages(void* part, std::size_t bytes) noexcept {
  // Private anonymous pages read as zeros after this and no longer count in the process.
  madvise(part, bytes, MADV_DONTNEED);
}

}  // namespace vx::platform
