#pragma once
// Unpacking of a ZIP archive into a folder.
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

// Extracts every entry of `archive` into the existing folder `folder`, keeping relative paths.
// Nothing is ever written outside `folder`: unsafe entries are refused, and existing links
// inside the folder are not followed. Extraction goes on past a refused entry; it stops at the
// first read or write failure.
[[nodiscard]] ZipExtractResult ExtractZip(const std::u16string& archive, const std::u16string& folder);

}  // namespace vx::platform
