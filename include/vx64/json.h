#pragma once
// JSON text as the library reads and writes it: the form of the mail documents that travel to
// the worker (dates recognised in strings, characters beyond ASCII written as \u escapes).
#include <iosfwd>
#include <string>
#include <string_view>

#include "vx64/export.h"

namespace vx64 {

struct ReformatJSONResult {
  // The text held a value, and it was written.
  bool Written = false;
  // The reader's message on an error in the text, e.g. "Expected :. (Line: 0 Col: 5)"; nothing
  // was written then. Empty otherwise, also for a text without a value.
  std::string Error;
};

// Reads one JSON text (UTF-8; a leading byte-order mark is skipped) and writes it again to `aOut`,
// in UTF-8 without a line break after it: compact, or indented (two blanks a level, CR LF line
// breaks) with `aIndent`; date values in local time, or in UTC with `aUniversalTime`.
[[nodiscard]] VX64_HOST_API ReformatJSONResult ReformatJSON(std::string_view aUtf8, bool aIndent,
                                                            bool aUniversalTime, std::ostream& aOut);

}  // namespace vx64
