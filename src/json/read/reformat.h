#pragma once
// Reads one JSON text (UTF-8, date checking on) and writes it back with the writer: the core of
// the `vxhost json` command.
#include <iosfwd>
#include <string_view>

namespace vx::json {

// Writes the value followed by one line feed to out and answers 0; on an error in the text, or a
// text that holds no value, writes a message and a line feed to err and answers 1. A leading
// UTF-8 byte-order mark is skipped.
[[nodiscard]] int ReformatJSON(std::string_view utf8, bool ident, bool universalTime, std::ostream& out,
                               std::ostream& err);

}  // namespace vx::json
