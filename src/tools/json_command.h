#pragma once
// `vxhost json [--indent] [--utc] [FILE]`: reads JSON text from FILE (UTF-8) or standard input
// and writes it back, compact unless --indent, dates in local time unless --utc.
#include <iosfwd>
#include <string>
#include <vector>

// Declared at global scope beside main(). args are the words after "json". Exit codes: 0 done, 1 error in the
// text, 2 usage error or unreadable file.
[[nodiscard]] int RunJsonCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                                 std::ostream& err);
