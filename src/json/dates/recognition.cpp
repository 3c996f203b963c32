#include "json/dates/recognition.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <memory>
#include <optional>

#include "json/dates/date_time.h"
#include "json/model/variant_text.h"

namespace vx::json {

namespace {
constexpr char16_t kPattern[] =
    u"(?=\\d{4})((\\d{4})-(\\d{2})-(\\d{2}))?(T(\\d{2})\\:(\\d{2})\\:(\\d{2})(Z)?(\\.(\\d{1,3})(Z)?)?"
    u"([+-](\\d{2})\\:(\\d{2}))?)?|(\\d{2})\\:(\\d{2})\\:(\\d{2})(Z)?(\\.(\\d{1,3}))?([+-](\\d{2})\\:(\\d{2})"
    u")?";

struct CodeDeleter {
  void operator()(pcre2_code* c) const { pcre2_code_free(c); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* m) const { pcre2_match_data_free(m); }
};

// Compiled once per process, with the JIT where the library has one; matching only reads it.
const pcre2_code* Pattern() {
  static const std::unique_ptr<pcre2_code, CodeDeleter> code = [] {
    int error = 0;
    PCRE2_SIZE offset = 0;
    std::unique_ptr<pcre2_code, CodeDeleter> compiled(pcre2_compile(
        reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED, 0, &error, &offset, nullptr));
    if (compiled) (void)pcre2_jit_compile(compiled.get(), PCRE2_JIT_COMPLETE);  // interpreted without it
    return compiled;
  }();
  return code.get();
}

// The match data of the calling thread, made once and reused for every test.
pcre2_match_data* MatchData(const pcre2_code* code) {
  thread_local const std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
      pcre2_match_data_create_from_pattern(code, nullptr));
  return data.get();
}

// A match is made of digits and the characters - : T Z . + only; since the one match must cover
// the whole trimmed text, a text with any other character is no date.
bool DateCharacters(UStringView trimmed) {
  for (const char16_t c : trimmed) {
    if (!((c >= u'0' && c <= u'9') || c == u'-' || c == u':' || c == u'T' || c == u'Z' || c == u'.' ||
          c == u'+'))
      return false;
  }
  return true;
}

int ToInt(UStringView digits) {
  int v = 0;
  for (char16_t c : digits) v = v * 10 + (c - u'0');
  return v;
}

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// The answer of a test read straight from the text.
struct TReading {
  bool Success = false;
  TDateTime Value = 0;
  TDataType Kind = dtNil;
};

// A text in one of the forms dates are written in, read without the expression: a date, a date
// with a time, or a time alone, each time with its optional "Z", fraction and zone offset, and
// nothing else. The expression's greedy optional parts take exactly these pieces and leave
// nothing for a second match, so the answer is the one its groups give; it is worked out with
// the same steps in the same order, on whole milliseconds. Any other text (nullopt) goes to the
// expression.
std::optional<TReading> ReadCommonForm(UStringView t) {
  std::size_t i = 0;
  const auto number = [&](std::size_t n, int& out) {
    if (t.size() - i < n) return false;
    int v = 0;
    for (std::size_t k = 0; k < n; ++k) {
      if (!IsDigit(t[i + k])) return false;
      v = v * 10 + (t[i + k] - u'0');
    }
    i += n;
    out = v;
    return true;
  };
  const auto skip = [&](char16_t c) {
    if (i >= t.size() || t[i] != c) return false;
    ++i;
    return true;
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const auto clock = [&] {
    return number(2, hour) && skip(u':') && number(2, minute) && skip(u':') && number(2, second);
  };
  bool hasDate = false;
  bool hasTime = false;
  if (t.size() >= 10 && t[4] == u'-' && number(4, year)) {
    if (!skip(u'-') || !number(2, month) || !skip(u'-') || !number(2, day)) return std::nullopt;
    hasDate = true;
    if (skip(u'T')) {
      if (!clock()) return std::nullopt;
      hasTime = true;
    }
  } else {
    i = 0;
    if (!clock()) return std::nullopt;
    hasTime = true;
  }
  bool zAfterSeconds = false, zAfterFraction = false;
  int fraction = -1, zoneSign = 0, zoneHours = 0, zoneMinutes = 0;
  if (hasTime) {
    zAfterSeconds = skip(u'Z');
    if (skip(u'.')) {  // one to three digits, then the date form's own "Z"
      const std::size_t from = i;
      fraction = 0;
      while (i - from < 3 && i < t.size() && IsDigit(t[i])) {
        fraction = fraction * 10 + (t[i++] - u'0');
      }
      if (i == from || (i < t.size() && IsDigit(t[i]))) return std::nullopt;
      zAfterFraction = hasDate && skip(u'Z');
    }
    if (skip(u'+')) {
      zoneSign = 1;
    } else if (skip(u'-')) {
      zoneSign = -1;
    }
    if (zoneSign != 0 && !(number(2, zoneHours) && skip(u':') && number(2, zoneMinutes))) return std::nullopt;
  }
  if (i != t.size()) return std::nullopt;

  std::int64_t ms = 0;
  bool useDate = false;
  if (hasDate) {
    if (const auto date = TryEncodeDate(year, month, day)) {
      ms = DateTimeToMSecs(*date);
      useDate = true;
    }
  }
  TReading reading{true, 0, useDate ? (hasTime ? dtDateTime : dtDate) : (hasTime ? dtTime : dtNil)};
  if (hasTime) {
    const std::optional<std::int64_t> time = TryTimeMSecs(hour, minute, second, 0);
    if (!time) {  // no valid time: no date
      reading.Success = false;
      reading.Value = MSecsToDateTime(ms);
      return reading;
    }
    ms += *time;
    if (zAfterSeconds) ms = UtcToLocalMSecs(ms);
    if (fraction >= 0) ms += fraction;
    if (zAfterFraction) ms = UtcToLocalMSecs(ms);
    if (zoneSign != 0) ms = UtcToLocalMSecs(ms - zoneSign * (zoneHours * 60LL + zoneMinutes) * 60000);
  }
  reading.Value = MSecsToDateTime(ms);
  return reading;
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

TISO8601::TISO8601(UStringView text, bool expressionOnly) : FText(text) {
  // Groups are kept as 16-bit places; no date text is that long.
  if (text.size() > UINT16_MAX) return;
  const UStringView trimmed = Trim(text);
  // Every match starts with a digit; a text whose first non-blank character is none cannot be a
  // date, and the expression need not run.
  if (trimmed.empty() || !IsDigit(trimmed.front()) || !DateCharacters(trimmed)) return;
  if (!expressionOnly && trimmed.size() == text.size()) {
    if (const std::optional<TReading> reading = ReadCommonForm(text)) {
      FSuccess = reading->Success;
      FValue = reading->Value;
      FValueType = reading->Kind;
      return;
    }
  }
  const pcre2_code* code = Pattern();
  if (code == nullptr) return;
  pcre2_match_data* const md = MatchData(code);
  if (md == nullptr) return;
  const auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
  const PCRE2_SIZE length = text.size();

  // Collect all matches; only a text with exactly one is considered.
  int matches = 0;
  PCRE2_SIZE start = 0;
  // The groups go straight into FData; they are used only once the one match is known.
  UStringView whole;
  uint32_t options = 0;
  // Every match needs a digit ahead, so none can start at the end of the text.
  while (start < length) {
    const int rc = pcre2_match(code, subject, length, start, options, md, nullptr);
    if (rc < 0) {
      if (options == 0) break;
      // No non-empty match at the place of an empty one: move on by one character.
      options = 0;
      ++start;
      continue;
    }
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
    if (++matches > 1) return;
    whole = text.substr(ov[0], ov[1] - ov[0]);
    for (int g = 1; g <= kGroupCount; ++g) {
      if (g < rc && ov[2 * g] != PCRE2_UNSET) SetGroup(g, ov[2 * g], ov[2 * g + 1] - ov[2 * g]);
    }
    start = ov[1];
    options = (ov[0] == ov[1]) ? (PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED) : 0;
  }
  if (matches != 1 || Trim(whole) != trimmed) return;

  Walk();
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
  // Every match starts with a digit: most texts are refused before a test is even set up.
  const UStringView trimmed = Trim(text);
  if (trimmed.empty() || !IsDigit(trimmed.front())) return false;
  if (trimmed.size() == text.size()) {
    if (const std::optional<TReading> reading = ReadCommonForm(text)) {
      if (!reading->Success) return false;
      value = reading->Value;
      kind = reading->Kind;
      return true;
    }
  }
  if (!DateCharacters(trimmed)) return false;
  const TISO8601 test(text, true);  // not a common form: the expression decides
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
