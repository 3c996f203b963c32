#include "platform/page_memory.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace vx::platform {
namespace {

constexpr std::size_t kMiB = 1024 * 1024;

TEST(PageMemory, RegionsAreAlignedZeroedAndDiscardedPartsReadAsZeros) {
  std::vector<char*> regions;
  for (int i = 0; i < 4; ++i) {
    auto* p = static_cast<char*>(MapPages(kMiB, kMiB));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % kMiB, 0u);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[kMiB - 1], 0);
    std::memset(p, 0x5a, kMiB);
    regions.push_back(p);
  }
  // The middle 64 KiB of one region is given back: it reads as zeros, its neighbours keep
  // their bytes, and the part can be written again.
  char* p = regions[1];
  DiscardPages(p + 64 * 1024, 64 * 1024);
  EXPECT_EQ(p[64 * 1024 - 1], 0x5a);
  EXPECT_EQ(p[64 * 1024], 0);
  EXPECT_EQ(p[128 * 1024 - 1], 0);
  EXPECT_EQ(p[128 * 1024], 0x5a);
  p[64 * 1024] = 1;
  EXPECT_EQ(p[64 * 1024], 1);
  // Backing pages ahead changes no byte: a discarded part stays zero, a written one keeps its
  // bytes, and a fresh region reads as zeros.
  DiscardPages(p, 64 * 1024);
  BackPages(p, 128 * 1024);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[64 * 1024], 1);
  BackPages(regions[3], kMiB);
  EXPECT_EQ(regions[3][kMiB / 2], 0x5a);
  char* fresh = static_cast<char*>(MapPages(kMiB, kMiB));
  ASSERT_NE(fresh, nullptr);
  BackPages(fresh, kMiB);
  EXPECT_EQ(fresh[kMiB - 1], 0);
  regions.push_back(fresh);
  for (char* r : regions) UnmapPages(r, kMiB);
}

TEST(PageMemory, ARegionTooLargeForTheAddressSpaceIsRefused) {
  EXPECT_EQ(MapPages(SIZE_MAX - 4096, kMiB), nullptr);
}

}  // namespace
}  // namespace vx::platform
