#pragma once
// The schema location map "xsd_map.ini" (section "MAP_XSD"): locations that failed to register,
// each mapped to the location to use instead. It lives beside the executable; the environment
// variable VX64_XSD_MAP names another file (tests, read-only installations).
#include <string>

#include "core/ustring.h"

namespace vx {

// The map's value for aKey (letter case ignored), or the empty text. Logs what it reads.
[[nodiscard]] UString FromIni(const UString& aKey);
// Stores aKey=aValue. The file is replaced as a whole (written beside it, then renamed), so a
// crash never leaves a damaged map. A failure is logged and goes no further.
void ToIni(const UString& aKey, const UString& aValue);

// The map file in use.
[[nodiscard]] UString SchemaMapPath();

}  // namespace vx
