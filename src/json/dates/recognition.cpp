#include "json/dates/recognition.h"

#include <algorithm>

#include "json/dates/date_time.h"
#include "json/model/variant_text.h"

namespace vx::json {

namespace {
bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

int ToInt(UStringView digits) {
  int v = 0;
  for (char16_t c : digits) v = v * 10 + (c - u'0');
  return v;
}
}  // namespace

TJSONDateManager::TJSONDateManager() {
  FCheckers.emplace_back(ISO8601Check);
}

TJSONDateManager& TJSONDateManager::Instance() {
  static TJSONDateManager manager;
  return manager;
}

bool TJSONDateManager::Check(UStringView text, TDateTime& value, TDataType& kind) const {
  for (const auto& checker : FCheckers) {
    if (checker(text, value, kind)) return true;
  }
  return false;
}

TISO8601::TISO8601(UStringView text) : FText(text) {
  // Groups are kept as 16-bit places; no date text is that long.
  if (text.size() > UINT16_MAX) return;
  const UStringView trimmed = Trim(text);
  if (!trimmed.empty() && Match(trimmed, static_cast<std::size_t>(trimmed.data() - text.data()))) {
    Walk();
  } else {
    FData = {};
  }
}

bool TISO8601::Match(UStringView t, std::size_t at) {
  const auto digits = [t](std::size_t from, std::size_t n) {
    if (t.size() < from + n) return false;
    for (std::size_t k = from; k < from + n; ++k) {
      if (!IsDigit(t[k])) return false;
    }
    return true;
  };
  const auto is = [t](std::size_t i, char16_t c) { return i < t.size() && t[i] == c; };
  const auto set = [this, at](int group, std::size_t from, std::size_t to) {
    FData[static_cast<std::size_t>(group)] = {static_cast<std::uint16_t>(at + from),
                                              static_cast<std::uint16_t>(to - from)};
  };
  // Each optional part of the expression is taken when it is there in full, else skipped.
  std::size_t i = 0;
  // hh:mm:ss into three groups.
  const auto clock = [&](int group) {
    if (!(digits(i, 2) && is(i + 2, u':') && digits(i + 3, 2) && is(i + 5, u':') && digits(i + 6, 2)))
      return false;
    for (int k = 0; k < 3; ++k) set(group + k, i + 3 * k, i + 3 * k + 2);
    i += 8;
    return true;
  };
  const auto letterZ = [&](int group) {
    if (!is(i, u'Z')) return;
    set(group, i, i + 1);
    ++i;
  };
  // A point and one to three digits, into a group for both and one for the digits.
  const auto fraction = [&](int group) {
    if (!is(i, u'.') || !digits(i + 1, 1)) return false;
    std::size_t end = i + 2;
    while (end < i + 4 && digits(end, 1)) ++end;
    set(group, i, end);
    set(group + 1, i + 1, end);
    i = end;
    return true;
  };
  // A sign and hh:mm, into a group for all and one each for the hours and minutes.
  const auto zone = [&](int group) {
    if (!(is(i, u'+') || is(i, u'-')) || !digits(i + 1, 2) || !is(i + 3, u':') || !digits(i + 4, 2)) return;
    set(group, i, i + 6);
    set(group + 1, i + 1, i + 3);
    set(group + 2, i + 4, i + 6);
    i += 6;
  };
  if (digits(0, 4)) {
    // The first choice, which its look-ahead allows: a date, then a "T" and a time.
    if (is(4, u'-') && digits(5, 2) && is(7, u'-') && digits(8, 2)) {
      set(1, 0, 10);
      set(2, 0, 4);
      set(3, 5, 7);
      set(4, 8, 10);
      i = 10;
    }
    if (is(i, u'T')) {
      const std::size_t from = i++;
      if (clock(6)) {
        letterZ(9);
        const std::size_t point = i;
        if (fraction(10)) {
          letterZ(12);
          set(10, point, i);  // the "Z" belongs to the fraction's group
        }
        zone(13);
        set(5, from, i);
      } else {
        i = from;
      }
    }
  } else {
    // The second choice: a time alone.
    if (!clock(16)) return false;
    letterZ(19);
    fraction(20);
    zone(22);
  }
  return i == t.size();
}

void TISO8601::Walk() {
  FSuccess = true;
  for (FOffset = 1; FOffset <= kGroupCount && FSuccess; ++FOffset) {
    const UStringView g = GroupText(FOffset);
    if (g.empty()) continue;
    if (g.front() == u'.' || g.size() != 4) {
      switch (g.front()) {
        case u'+':
          if (FUseTime) ReadZoneOffset(1);
          break;
        case u'-':
          if (FUseTime) ReadZoneOffset(-1);
          break;
        case u'.':
          if (FUseTime) ReadMSec();
          break;
        case u'T':
          FUseTime = true;
          ReadTime(FOffset + 1);
          break;
        case u'Z':
          if (g.size() == 1 && FUseTime) FValue = UtcToLocal(FValue);
          break;
        default:
          if (IsDigit(g.front()) && g.size() == 2) {
            FUseTime = true;
            ReadTime(FOffset);
          }
          break;
      }
    } else {
      ReadDate();
    }
  }
  if (FUseDate && FUseTime) {
    FValueType = dtDateTime;
  } else if (FUseDate) {
    FValueType = dtDate;
  } else if (FUseTime) {
    FValueType = dtTime;
  }
}

int TISO8601::Group(int index) const {
  return index <= kGroupCount ? ToInt(GroupText(index)) : 0;
}

void TISO8601::ReadDate() {
  const auto date = TryEncodeDate(Group(FOffset), Group(FOffset + 1), Group(FOffset + 2));
  FOffset += 2;
  if (date) {
    FValue = *date;
    FUseDate = true;
  } else {
    FValue = 0;
  }
}

void TISO8601::ReadTime(int first) {
  const auto time = TryEncodeTime(Group(first), Group(first + 1), Group(first + 2), 0);
  FOffset = first + 2;
  if (!time) {
    FSuccess = false;
    return;
  }
  FValue = MSecsToDateTime(DateTimeToMSecs(FValue) + DateTimeToMSecs(*time));
}

void TISO8601::ReadMSec() {
  ++FOffset;
  FValue = MSecsToDateTime(DateTimeToMSecs(FValue) + Group(FOffset));
}

void TISO8601::ReadZoneOffset(int sign) {
  const std::int64_t minutes = Group(FOffset + 1) * 60LL + Group(FOffset + 2);
  FOffset += 2;
  FValue = UtcToLocal(MSecsToDateTime(DateTimeToMSecs(FValue) - sign * minutes * 60000));
}

bool ISO8601Check(UStringView text, TDateTime& value, TDataType& kind) {
  const TISO8601 test(text);
  if (!test.Success()) return false;
  value = test.Value();
  kind = test.ValueType();
  return true;
}

TDateTime VxJSDateToDateTime(UStringView text) {
  const size_t t = text.find(u'T');
  const UStringView datePart = text.substr(0, t);
  UStringView timePart;
  if (t != UStringView::npos) {
    UStringView rest = text.substr(t + 1);
    rest = rest.substr(0, std::min(rest.find(u'T'), rest.size()));
    timePart = rest.substr(0, std::min(rest.find_first_of(u"-Z"), rest.size()));
  }
  UString combined(datePart);
  combined += u' ';
  combined += timePart;
  return TryStrToDateTime(combined).value_or(0);
}

bool VxCastDateTime(const TVariant& in, TVariant& out) {
  try {
    if (in.IsIntegral() || in.IsFloating()) {
      const double days = in.IsIntegral() ? static_cast<double>(in.AsInt64()) : in.AsDouble();
      // Day counts of years 0001..9999 convert directly.
      if (days >= -693593.0 && days < 2958466.0) {
        out = TVariant::Date(days);
        return true;
      }
    }
    out = TVariant::Date(VxJSDateToDateTime(VarToStr(in)));
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vx::json
