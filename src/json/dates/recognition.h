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

// One ISO 8601 test of a text.
class TISO8601 {
 public:
  // With `expressionOnly`, the common forms are matched by the expression too (their direct
  // reading must give the same answer; checks compare the two).
  explicit TISO8601(UStringView text, bool expressionOnly = false);
  [[nodiscard]] bool Success() const noexcept { return FSuccess; }
  [[nodiscard]] TDateTime Value() const noexcept { return FValue; }
  [[nodiscard]] TDataType ValueType() const noexcept { return FValueType; }

  static constexpr int kGroupCount = 24;

 private:
  // Reads the value from the groups.
  void Walk();
  [[nodiscard]] int Group(int index) const;
  void ReadDate();
  void ReadTime(int first);
  void ReadMSec();
  void ReadZoneOffset(int sign);

  // Where each group of the match lies in the text (1-based; empty when it took no part).
  struct TSpan {
    std::uint16_t From = 0;
    std::uint16_t Size = 0;
  };
  void SetGroup(int group, std::size_t from, std::size_t size) noexcept {
    FData[static_cast<std::size_t>(group)] = {static_cast<std::uint16_t>(from),
                                              static_cast<std::uint16_t>(size)};
  }
  [[nodiscard]] UStringView GroupText(int group) const noexcept {
    const TSpan& span = FData[static_cast<std::size_t>(group)];
    return FText.substr(span.From, span.Size);
  }

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
