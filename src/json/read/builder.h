#pragma once
// The builder: reads values from the scanner's lexemes into the value tree. One builder and one
// scanner serve every entry point, UTF-16 and UTF-8 text alike.
#include <string_view>
#include <vector>

#include "core/ustring.h"
#include "json/model/values.h"
#include "json/read/scanner.h"

namespace vx::json {

// Containers nested deeper than this raise TJSONSyntaxError instead of exhausting the stack.
inline constexpr int kMaxNestingDepth = 1000;

template <class CharT>
class TJSONBuilder {
 public:
  TJSONBuilder(std::basic_string_view<CharT> text, bool CheckDates) : FLex(text), FCheckDates(CheckDates) {}

  // The next value, or nil when none follows (the lexeme then stays pending).
  [[nodiscard]] IJSONAncestor ReadValue();

 private:
  // A string, or the date-time, date or time it holds when dates are recognised.
  [[nodiscard]] IJSONAncestor ReadString();
  [[nodiscard]] IJSONAncestor ReadArray();
  [[nodiscard]] IJSONAncestor ReadObject();
  [[noreturn]] void Raise(const UString& message) const;

  TLexGenerator<CharT> FLex;
  bool FCheckDates;
  int FDepth = 0;
  // The members of the containers being read, innermost on top.
  std::vector<IJSONAncestor> FValues;
  std::vector<IJSONPair> FPairs;
};

extern template class TJSONBuilder<char16_t>;
extern template class TJSONBuilder<char>;

}  // namespace vx::json
