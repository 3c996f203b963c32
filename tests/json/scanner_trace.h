#pragma once
// The lexemes a scanner reads from a text, and how it ends (the position where it stopped, or
// the error with its message), as one text: the library's scanner and the route scanner must
// give equal traces for every text.
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <typeinfo>

#include "json/model/errors.h"
#include "json/read/scanner.h"
#include "route_scanner.h"

namespace vx::json::testing {

template <class Scanner>
std::string ScannerTrace(Scanner& scanner) {
  std::string trace;
  const auto at = [](TPosition p) { return std::to_string(p.Line) + ":" + std::to_string(p.Col); };
  // Before each lexeme, a punctuation lexeme is asked for and taken when it comes, by turns.
  constexpr TLexemType kAsked[] = {ltVirgule, ltColon, ltCRight, ltBRight, ltCLeft, ltBLeft, ltDot, ltSValue};
  std::size_t turn = 0;
  try {
    for (;;) {
      const TLexemType asked = kAsked[turn++ % std::size(kAsked)];
      if (scanner.CheckKill(asked)) {
        trace += "took " + std::to_string(asked) + " then " + at(scanner.Position()) + "\n";
        continue;
      }
      if (scanner.Check(0xFFFEu) == ltNil) break;
      const TLexeme& l = scanner.Current();
      std::uint64_t bits = 0;
      std::memcpy(&bits, &l.DValue, sizeof bits);
      trace += std::to_string(l.Kind) + "@" + at(l.Pos) + " " + std::to_string(l.IValue) + " " +
               std::to_string(bits) + " [";
      for (const char16_t c : l.SValue) trace += std::to_string(c) + ",";
      trace += "] then " + at(scanner.Position()) + "\n";
      scanner.KillLex();
    }
    trace += "end@" + at(scanner.Position());
  } catch (const EJSONBaseError& e) {
    trace += typeid(e).name();
    trace += ": ";
    trace += e.what();
  }
  return trace;
}

// The library scanner's trace, and the route scanner's.
template <class CharT>
std::string LexemeTrace(std::basic_string_view<CharT> text) {
  TLexGenerator<CharT> scanner(text);
  return ScannerTrace(scanner);
}
template <class CharT>
std::string RouteTrace(std::basic_string_view<CharT> text) {
  TRouteScanner<CharT> scanner(text);
  return ScannerTrace(scanner);
}

}  // namespace vx::json::testing
