#pragma once
// A tagged value in the shape the JSON layer exchanges with callers: the type codes are the
// numeric variant type codes the library reports (GetType).
#include <cstdint>

#include "core/ustring.h"

namespace vx::json {

// Date-time: days since 1899-12-30 00:00, the fraction being the time of day.
using TDateTime = double;

enum TVarType : std::uint16_t {
  varEmpty = 0,
  varNull = 1,
  varSmallint = 2,
  varInteger = 3,
  varSingle = 4,
  varDouble = 5,
  varCurrency = 6,
  varDate = 7,
  varOleStr = 8,
  varBoolean = 11,
  varUnknown = 13,
  varShortInt = 16,
  varByte = 17,
  varWord = 18,
  varLongWord = 19,
  varInt64 = 20,
  varUInt64 = 21,
  varString = 256,
  varUString = 258,
  varArray = 8192,
  // Reported by GetType for object members.
  varObjectCode = 73,
};

class TVariant {
 public:
  TVariant() = default;  // empty
  [[nodiscard]] static TVariant Null() { return TVariant(varNull); }
  [[nodiscard]] static TVariant Int32(std::int32_t v) { return Integral(varInteger, v); }
  [[nodiscard]] static TVariant Int64(std::int64_t v) { return Integral(varInt64, v); }
  [[nodiscard]] static TVariant Integral(TVarType type, std::int64_t v) {
    TVariant r(type);
    r.FInt = v;
    return r;
  }
  [[nodiscard]] static TVariant Double(double v) { return Floating(varDouble, v); }
  [[nodiscard]] static TVariant Floating(TVarType type, double v) {
    TVariant r(type);
    r.FDouble = v;
    return r;
  }
  [[nodiscard]] static TVariant Date(TDateTime v) { return Floating(varDate, v); }
  [[nodiscard]] static TVariant Boolean(bool v) {
    TVariant r(varBoolean);
    r.FInt = v ? 1 : 0;
    return r;
  }
  [[nodiscard]] static TVariant String(UString v, TVarType type = varUString) {
    TVariant r(type);
    r.FText = std::move(v);
    return r;
  }

  [[nodiscard]] TVarType VarType() const noexcept { return FType; }
  [[nodiscard]] bool IsNull() const noexcept { return FType == varNull; }
  [[nodiscard]] bool IsEmpty() const noexcept { return FType == varEmpty; }
  [[nodiscard]] bool IsIntegral() const noexcept;
  [[nodiscard]] bool IsFloating() const noexcept;  // single, double, currency (not date)
  [[nodiscard]] bool IsText() const noexcept {
    return FType == varString || FType == varUString || FType == varOleStr;
  }

  [[nodiscard]] std::int64_t AsInt64() const noexcept { return FInt; }
  [[nodiscard]] double AsDouble() const noexcept { return FDouble; }
  [[nodiscard]] bool AsBoolean() const noexcept { return FInt != 0; }
  [[nodiscard]] const UString& AsText() const noexcept { return FText; }

  friend bool operator==(const TVariant&, const TVariant&) = default;

 private:
  explicit TVariant(TVarType t) : FType(t) {}
  TVarType FType = varEmpty;
  std::int64_t FInt = 0;
  double FDouble = 0;
  UString FText;
};

inline bool TVariant::IsIntegral() const noexcept {
  switch (FType) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
    case varUInt64:
      return true;
    default:
      return false;
  }
}

inline bool TVariant::IsFloating() const noexcept {
  return FType == varSingle || FType == varDouble || FType == varCurrency;
}

}  // namespace vx::json
