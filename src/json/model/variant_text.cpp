#include "json/model/variant_text.h"

#include <charconv>
#include <string>

#include "json/dates/date_time.h"
#include "json/model/errors.h"
#include "json/write/writer.h"

namespace vx::json {

namespace {
bool ToAscii(UStringView text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c >= 0x80) return false;
    out.push_back(static_cast<char>(c));
  }
  return true;
}

// Reads 1..maxDigits decimal digits at text[pos].
std::optional<int> ReadNumber(UStringView text, size_t& pos, size_t maxDigits) {
  size_t start = pos;
  int value = 0;
  while (pos < text.size() && pos - start < maxDigits && text[pos] >= u'0' && text[pos] <= u'9') {
    value = value * 10 + (text[pos] - u'0');
    ++pos;
  }
  if (pos == start) return std::nullopt;
  return value;
}

std::optional<TDateTime> ReadTime(UStringView text, size_t& pos) {
  auto h = ReadNumber(text, pos, 2);
  if (!h || pos >= text.size() || text[pos] != u':') return std::nullopt;
  ++pos;
  auto n = ReadNumber(text, pos, 2);
  if (!n) return std::nullopt;
  int s = 0, z = 0;
  if (pos < text.size() && text[pos] == u':') {
    ++pos;
    auto sv = ReadNumber(text, pos, 2);
    if (!sv) return std::nullopt;
    s = *sv;
    if (pos < text.size() && text[pos] == u'.') {
      ++pos;
      auto zv = ReadNumber(text, pos, 3);
      if (!zv) return std::nullopt;
      z = *zv;
    }
  }
  return TryEncodeTime(*h, *n, s, z);
}
}  // namespace

UString VarToStr(const TVariant& value) {
  switch (value.VarType()) {
    case varEmpty:
      return {};
    case varNull:
      throw EConvertError(u"Could not convert a null variant to text");
    case varBoolean:
      return value.AsBoolean() ? u"True" : u"False";
    case varDate: {
      const TDateTime d = value.AsDouble();
      const bool midnight = DateTimeToMSecs(d) % kMSecsPerDay == 0;
      return FormatDateTime(midnight ? u"yyyy-mm-dd" : u"yyyy-mm-dd hh:nn:ss", d);
    }
    default:
      break;
  }
  if (value.IsIntegral()) return IntToU(value.AsInt64());
  if (value.IsFloating()) return Widen(FloatToJSONText(value.AsDouble()));
  return value.AsText();
}

std::optional<TDateTime> TryStrToDateTime(UStringView text) {
  text = Trim(text);
  size_t pos = 0;
  // A time alone?
  {
    size_t p = 0;
    if (auto t = ReadTime(text, p); t && p == text.size()) return t;
  }
  auto y = ReadNumber(text, pos, 4);
  if (!y || pos >= text.size() || text[pos] != u'-') return std::nullopt;
  ++pos;
  auto m = ReadNumber(text, pos, 2);
  if (!m || pos >= text.size() || text[pos] != u'-') return std::nullopt;
  ++pos;
  auto d = ReadNumber(text, pos, 2);
  if (!d) return std::nullopt;
  auto date = TryEncodeDate(*y, *m, *d);
  if (!date) return std::nullopt;
  if (pos == text.size()) return date;
  if (text[pos] != u' ') return std::nullopt;
  while (pos < text.size() && text[pos] == u' ') ++pos;
  auto t = ReadTime(text, pos);
  if (!t || pos != text.size()) return std::nullopt;
  return *date + *t;
}

std::optional<std::int64_t> TryStrToInt64(UStringView text) {
  std::string s;
  if (!ToAscii(text, s) || s.empty()) return std::nullopt;
  std::int64_t v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc{} || ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

namespace {
// Whether a well-formed float text that does not fit a double is below 1 in magnitude (so
// too small, not too large): the decimal exponent of its first significant digit is negative.
bool BelowOne(std::string_view s) {
  size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
  std::int64_t digitsBeforePoint = 0;
  bool significant = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    significant = significant || s[i] != '0';
    if (significant) ++digitsBeforePoint;
  }
  std::int64_t zerosAfterPoint = 0;
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      if (!significant && s[i] == '0') ++zerosAfterPoint;
      significant = significant || s[i] != '0';
    }
  }
  std::int64_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    const bool negative = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    for (; i < s.size(); ++i) {
      exponent = exponent * 10 + (s[i] - '0');
      if (exponent > 1'000'000'000) break;  // far beyond any double either way
    }
    if (negative) exponent = -exponent;
  }
  const std::int64_t lead = digitsBeforePoint > 0 ? digitsBeforePoint : -zerosAfterPoint;
  return exponent + lead <= 0;
}
}  // namespace

std::optional<double> TryStrToFloat(UStringView text) {
  std::string s;
  if (!ToAscii(text, s)) return std::nullopt;
  return TryStrToFloat(std::string_view(s));
}

std::optional<double> TryStrToFloat(std::string_view s) {
  if (s.empty()) return std::nullopt;
  const char* b = s.data();
  if (*b == '+') ++b;
  double v = 0;
  auto [ptr, ec] = std::from_chars(b, s.data() + s.size(), v);
  if (ptr != s.data() + s.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    // Too small for the smallest subnormal: zero (with the sign); too large stays an error.
    if (BelowOne(s)) return *b == '-' ? -0.0 : 0.0;
    return std::nullopt;
  }
  if (ec != std::errc{}) return std::nullopt;
  return v;
}

}  // namespace vx::json
