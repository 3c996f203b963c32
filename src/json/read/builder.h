#pragma once
// Builds the value tree from the scanner's lexemes.
#include <string_view>
#include <vector>

#include "core/ustring.h"
#include "json/model/values.h"
#include "json/read/scanner.h"

namespace vx::json {

// Containers nested deeper than this raise TJSONSyntaxError instead of exhausting the stack.
inline constexpr int kMaxNestingDepth = 1000;

// The value a string lexeme reads as: a date-time, date or time when dates are recognised and
// the text is one, otherwise a string.
[[nodiscard]] IJSONAncestor StringValue(const TLexeme& lex, bool CheckDates);

template <class CharT>
class TJSONBuilder {
 public:
  TJSONBuilder(std::basic_string_view<CharT> text, bool CheckDates) : FLex(text), FCheckDates(CheckDates) {}

  // The next value, or nil when none follows (the lexeme then stays pending).
  [[nodiscard]] IJSONAncestor ReadValue();

 private:
  [[nodiscard]] IJSONAncestor ReadArray();
  [[nodiscard]] IJSONAncestor ReadObject();
  [[noreturn]] void Raise(const UString& message) const;

  TLexGenerator<CharT> FLex;
  bool FCheckDates;
  int FDepth = 0;
  // Values and pairs of the containers being read, innermost on top: each container collects
  // on the stack and takes its members off it in one exactly sized list when it closes.
  std::vector<IJSONAncestor> FValues;
  std::vector<IJSONPair> FPairs;
};

extern template class TJSONBuilder<char16_t>;
extern template class TJSONBuilder<char>;

}  // namespace vx::json
