#pragma once
// The schema location map "xsd_map.ini" (section "MAP_XSD"): locations that failed to register,
// each mapped to the location to use instead. It lives beside the executable; where that file is
// missing and the folder is not writable (an installed program), in the user's settings folder
// ("vx64/xsd_map.ini" there). The environment variable VX64_XSD_MAP names another file.
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

}  // namespace vx
