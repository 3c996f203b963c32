#include "json/date_manager.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <memory>

#include "json/date_time.h"
#include "json/variant_text.h"

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

UStringView Trim(UStringView s) {
  while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
  return s;
}

int ToInt(UStringView digits) {
  int v = 0;
  for (char16_t c : digits) v = v * 10 + (c - u'0');
  return v;
}

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
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

// The one match of the expression and its groups, found without the expression, for the forms
// dates are written in: a date, a date with a time, or a time alone, each time with its optional
// "Z", fraction and zone offset, and nothing else. The expression's greedy optional parts take
// exactly these pieces, and nothing is left for a second match. Any other text (false) goes to
// the expression.
bool TISO8601::MatchCommonForm(UStringView t) {
  std::size_t i = 0;
  const auto digits = [&](std::size_t n) {
    if (t.size() - i < n) return false;
    for (std::size_t k = 0; k < n; ++k) {
      if (!IsDigit(t[i + k])) return false;
    }
    return true;
  };
  const auto at = [&](char16_t c) { return i < t.size() && t[i] == c; };
  // Two digits into a group.
  const auto two = [&](int group) {
    if (!digits(2)) return false;
    SetGroup(group, i, 2);
    i += 2;
    return true;
  };
  const auto clock = [&](int first) {
    if (!two(first) || !at(u':')) return false;
    ++i;
    if (!two(first + 1) || !at(u':')) return false;
    ++i;
    return two(first + 2);
  };
  const auto zone = [&](int group) {  // ([+-](\d{2})\:(\d{2}))?
    if (!at(u'+') && !at(u'-')) return true;
    const std::size_t from = i++;
    if (!two(group + 1) || !at(u':')) return false;
    ++i;
    if (!two(group + 2)) return false;
    SetGroup(group, from, i - from);
    return true;
  };
  const auto fraction = [&](int group, bool withZ) {  // (\.(\d{1,3})(Z)?)? or (\.(\d{1,3}))?
    if (!at(u'.')) return true;
    const std::size_t from = i++;
    std::size_t n = 0;
    while (n < 3 && i < t.size() && IsDigit(t[i])) ++i, ++n;
    if (n == 0 || (i < t.size() && IsDigit(t[i]))) return false;
    SetGroup(group + 1, from + 1, n);
    if (withZ && at(u'Z')) SetGroup(group + 2, i++, 1);
    SetGroup(group, from, i - from);
    return true;
  };
  const auto z = [&](int group) {
    if (at(u'Z')) SetGroup(group, i++, 1);
  };
  bool ok;
  if (digits(4) && t.size() >= 10 && t[4] == u'-') {
    SetGroup(2, 0, 4);
    i = 5;
    ok = two(3) && at(u'-') && (++i, two(4));
    if (ok) SetGroup(1, 0, 10);
    if (ok && at(u'T')) {
      const std::size_t from = i++;
      ok = clock(6);
      if (ok) {
        z(9);
        ok = fraction(10, true) && zone(13);
      }
      if (ok) SetGroup(5, from, i - from);
    }
  } else {
    ok = clock(16);
    if (ok) {
      z(19);
      ok = fraction(20, false) && zone(22);
    }
  }
  if (ok && i == t.size()) return true;
  FData = {};
  return false;
}

TISO8601::TISO8601(UStringView text, bool expressionOnly) : FText(text) {
  // Groups are kept as 16-bit places; no date text is that long.
  if (text.size() > UINT16_MAX) return;
  const UStringView trimmed = Trim(text);
  // Every match starts with a digit; a text whose first non-blank character is none cannot be a
  // date, and the expression need not run.
  if (trimmed.empty() || !IsDigit(trimmed.front()) || !DateCharacters(trimmed)) return;
  if (!expressionOnly && trimmed.size() == text.size() && MatchCommonForm(text)) {
    Walk();
    return;
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
