#pragma once
// Unpacking of a ZIP archive into a folder.
#include <cstdint>
#include <string>
#include <vector>

namespace vx::platform {

struct ZipExtractResult {
  // Empty when every entry was written; otherwise the first failure.
  std::string error;
  // Entries refused because they would land outside the folder (absolute names, "..",
  // symbolic links); each with the reason. A refusal also sets `error`.
  std::vector<std::string> refused;
};

// Bounds on what one archive may unpack; an archive beyond them is refused before anything is
// written (by its declared sizes), and extraction stops when the bytes actually written pass
// the size bound.
struct ZipLimits {
  std::uint64_t maxTotalBytes = std::uint64_t{1} << 30;
  std::uint64_t maxEntries = 10000;
};

// Extracts every entry of `archive` into the existing folder `folder`, keeping relative paths.
// Nothing is ever written outside `folder`: unsafe entries are refused, and existing links
// inside the folder are not followed. Extraction goes on past a refused entry; it stops at the
// first read or write failure. Error texts are UTF-8.
[[nodiscard]] ZipExtractResult ExtractZip(const std::u16string& archive, const std::u16string& folder,
                                          ZipLimits limits = {});

}  // namespace vx::platform
