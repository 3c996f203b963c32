#pragma once
// JSON text as the library reads and writes it: the form of the mail documents that travel to
// the worker (dates recognised in strings, characters beyond ASCII written as \u escapes).
#include <string>
#include <string_view>

#include "vx64/export.h"

namespace vx64 {

struct ReformattedJSON {
  // The value written again (UTF-8); empty when the text holds no value or has an error.
  std::string Text;
  // The reader's message on an error in the text, e.g. "Expected :. (Line: 0 Col: 5)"; empty
  // otherwise.
  std::string Error;
};

// Reads one JSON text (UTF-8; a leading byte-order mark is skipped) and writes it again:
// compact, or indented (two blanks a level, CR LF line breaks) with `aIndent`; date values in
// local time, or in UTC with `aUniversalTime`.
[[nodiscard]] VX64_HOST_API ReformattedJSON ReformatJSON(std::string_view aUtf8, bool aIndent,
                                                         bool aUniversalTime);

}  // namespace vx64
