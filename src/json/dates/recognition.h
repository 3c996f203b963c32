#pragma once
// Recognition of dates in strings: a process-wide list of checkers, the first of which tests
// ISO 8601 texts.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/ustring.h"
#include "json/model/values.h"
#include "json/model/variant.h"

namespace vx::json {

// Answers whether the text is a date; if so, the value and the kind (dtDateTime, dtDate, dtTime,
// or dtNil for a text of date form that holds no valid date).
using TJSONDateTimeCheckCallBack = std::function<bool(UStringView text, TDateTime& value, TDataType& kind)>;

class TJSONDateManager {
 public:
  // The process-wide list, created on first use with the ISO 8601 checker.
  [[nodiscard]] static TJSONDateManager& Instance();

  void Add(TJSONDateTimeCheckCallBack checker) { FCheckers.push_back(std::move(checker)); }
  // Asks the checkers in order; the first that accepts answers.
  [[nodiscard]] bool Check(UStringView text, TDateTime& value, TDataType& kind) const;

 private:
  TJSONDateManager();
  std::vector<TJSONDateTimeCheckCallBack> FCheckers;
};

// One ISO 8601 test of a text: the match of the date expression
//   (?=\d{4})((\d{4})-(\d{2})-(\d{2}))?(T(\d{2})\:(\d{2})\:(\d{2})(Z)?(\.(\d{1,3})(Z)?)?
//   ([+-](\d{2})\:(\d{2}))?)?|(\d{2})\:(\d{2})\:(\d{2})(Z)?(\.(\d{1,3}))?([+-](\d{2})\:(\d{2}))?
// must be the text's only one and cover the text without its blanks; its groups are then read
// into a date-time value. The expression is matched by hand: every match must start with a
// digit, so the only candidate is the expression's first choice at the first non-blank character.
class TISO8601 {
 public:
  explicit TISO8601(UStringView text);
  [[nodiscard]] bool Success() const noexcept { return FSuccess; }
  [[nodiscard]] TDateTime Value() const noexcept { return FValue; }
  [[nodiscard]] TDataType ValueType() const noexcept { return FValueType; }

  static constexpr int kGroupCount = 24;
  // The text of a group (1..24) of the match; empty when it took no part, or the text is none.
  [[nodiscard]] UStringView GroupText(int group) const noexcept {
    const TSpan& span = FData[static_cast<std::size_t>(group)];
    return FText.substr(span.From, span.Size);
  }

 private:
  // Matches the expression at the start of the trimmed text, which begins at `at` in the text;
  // answers whether the match covers it.
  bool Match(UStringView trimmed, std::size_t at);
  // Reads the value from the groups.
  void Walk();
  [[nodiscard]] int Group(int index) const;
  void ReadDate();
  void ReadTime(int first);
  void ReadMSec();
  void ReadZoneOffset(int sign);

  // Where each group of the match lies in the text (empty when it took no part).
  struct TSpan {
    std::uint16_t From = 0;
    std::uint16_t Size = 0;
  };

  UStringView FText;
  std::array<TSpan, kGroupCount + 1> FData{};
  bool FSuccess = false;
  int FOffset = 0;
  bool FUseTime = false;
  bool FUseDate = false;
  TDateTime FValue = 0;
  TDataType FValueType = dtNil;
};

[[nodiscard]] bool ISO8601Check(UStringView text, TDateTime& value, TDataType& kind);

// Date-time of a text such as a JSON member holds: the date part before "T" and the time part
// after it up to a "-" or "Z"; 0 when that cannot be read.
[[nodiscard]] TDateTime VxJSDateToDateTime(UStringView text);
// A variant as a date-time variant: numbers are day counts, everything else goes through its
// text and VxJSDateToDateTime. False on an unexpected error.
[[nodiscard]] bool VxCastDateTime(const TVariant& in, TVariant& out);

}  // namespace vx::json
