#pragma once
// INI text, read and changed in place: the one reader of the project's INI files (the schema
// location map and the mail library's settings).
#include <optional>
#include <string>
#include <string_view>

namespace vx {

// "[section]" lines, "key=value" entries (blanks around key and value ignored), comment lines
// starting with ';' or '#'. Sections and keys compare without regard to ASCII letter case; the
// first section and the first entry of a name count, as in the Windows profile functions.
[[nodiscard]] std::optional<std::string> IniValue(std::string_view aText, std::string_view aSection,
                                                  std::string_view aKey);
// aText with aKey=aValue in aSection: the entry's line replaced, or a line added after the
// section's last entry, or the section added at the end. Raises std::invalid_argument for a key
// or value that would not read back unchanged (a line break, an equals sign in the key, blanks
// around the key, a key starting like a section or a comment); blanks around the value are
// dropped.
[[nodiscard]] std::string IniWithValue(std::string_view aText, std::string_view aSection,
                                       std::string_view aKey, std::string_view aValue);

}  // namespace vx
