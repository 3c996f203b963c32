#pragma once
// The schema location map "xsd_map.ini" (section "MAP_XSD"): locations that failed to register,
// each mapped to the location to use instead. It lives beside the executable; where that file is
// missing and the folder is not writable (an installed program), in the user's settings folder
// ("vx64/xsd_map.ini" there). The environment variable VX64_XSD_MAP names another file.
#include <optional>
#include <string>
#include <string_view>

#include "core/ustring.h"

namespace vx {

// The map's value for aKey (letter case ignored), or the empty text. Logs what it reads.
[[nodiscard]] UString FromIni(const UString& aKey);
// Stores aKey=aValue. Only that entry's line changes; other sections, comments, blank lines and
// line ends stay as they were. The file is replaced as a whole (written beside it, then renamed),
// so a crash never leaves a damaged map; a symbolic link is written through to its target, and
// the file keeps its permissions. A failure is logged and goes no further.
void ToIni(const UString& aKey, const UString& aValue);

// The map file in use.
[[nodiscard]] UString SchemaMapPath();

// INI text as the map reads and writes it: "[section]" lines, "key=value" entries (blanks around
// key and value ignored), comment lines starting with ';' or '#'. Sections and keys compare
// without regard to ASCII letter case; the first section and the first entry of a name count.
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
