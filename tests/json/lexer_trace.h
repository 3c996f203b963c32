#pragma once
// The lexemes a scanner reads from a text, and the error it ends with, as one text: two scanners
// that read alike give equal traces.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <typeinfo>

#include "json/json_errors.h"
#include "json/json_lexer.h"

namespace vx::json::testing {

template <class CharT>
std::string LexemeTrace(std::basic_string_view<CharT> text, bool direct) {
  std::string trace;
  TLexGenerator<CharT> lex(text, direct);
  constexpr TLexemSet kAll = 0xFFFEu;
  try {
    while (lex.Check(kAll) != ltNil) {
      const TLexeme& l = lex.Current();
      std::uint64_t bits = 0;
      std::memcpy(&bits, &l.DValue, sizeof bits);
      trace += std::to_string(l.Kind) + "@" + std::to_string(l.Pos.Line) + ":" + std::to_string(l.Pos.Col) + " " +
               std::to_string(l.IValue) + " " + std::to_string(bits) + " [";
      for (const char16_t c : l.TextAs().Str()) trace += std::to_string(c) + ",";
      trace += "]\n";
      lex.KillLex();
    }
    trace += "end@" + std::to_string(lex.Position().Line) + ":" + std::to_string(lex.Position().Col);
  } catch (const EJSONBaseError& e) {
    trace += typeid(e).name();
    trace += ": ";
    trace += e.what();
  }
  return trace;
}

}  // namespace vx::json::testing
