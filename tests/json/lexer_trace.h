#pragma once
// The lexemes a scanner reads from a text, and the error it ends with, as one text: two scanners
// that read alike give equal traces.
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <typeinfo>

#include "json/model/errors.h"
#include "json/read/scanner.h"

namespace vx::json::testing {

template <class CharT>
std::string LexemeTrace(std::basic_string_view<CharT> text, bool direct) {
  std::string trace;
  TLexGenerator<CharT> lex(text, direct);
  constexpr TLexemSet kAll = 0xFFFEu;
  // Between lexemes, a punctuation lexeme is asked for and taken when it comes, by turns.
  constexpr TLexemType kAsked[] = {ltVirgule, ltColon, ltCRight, ltBRight, ltCLeft, ltBLeft, ltDot, ltSValue};
  std::size_t turn = 0;
  const auto at = [&lex] {
    return std::to_string(lex.Position().Line) + ":" + std::to_string(lex.Position().Col);
  };
  try {
    for (;;) {
      const TLexemType asked = kAsked[turn++ % std::size(kAsked)];
      if (lex.CheckKill(asked)) {
        trace += "took " + std::to_string(asked) + " then " + at() + "\n";
        continue;
      }
      if (lex.Check(kAll) == ltNil) break;
      const TLexeme& l = lex.Current();
      std::uint64_t bits = 0;
      std::memcpy(&bits, &l.DValue, sizeof bits);
      trace += std::to_string(l.Kind) + "@" + std::to_string(l.Pos.Line) + ":" + std::to_string(l.Pos.Col) +
               " " + std::to_string(l.IValue) + " " + std::to_string(bits) + " [";
      TJSONText units;
      l.TextTo(units);
      for (const char16_t c : units.Str()) trace += std::to_string(c) + ",";
      trace += "]\n";
      lex.KillLex();
    }
    trace += "end@" + at();
  } catch (const EJSONBaseError& e) {
    trace += typeid(e).name();
    trace += ": ";
    trace += e.what();
  }
  return trace;
}

}  // namespace vx::json::testing
