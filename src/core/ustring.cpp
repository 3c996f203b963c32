#include "core/ustring.h"

#include <charconv>

#include "platform/text_codec.h"

namespace vx {

namespace {
template <typename Int>
std::optional<Int> ParseDecimal(UStringView s) {
  // Only ASCII digits with an optional sign; anything else is malformed.
  std::string narrow;
  narrow.reserve(s.size());
  for (char16_t c : s) {
    if (c > 0x7F) return std::nullopt;
    narrow.push_back(static_cast<char>(c));
  }
  std::string_view v = narrow;
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  if (v.empty()) return std::nullopt;
  Int value{};
  auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
  if (ec != std::errc{} || ptr != v.data() + v.size()) return std::nullopt;
  return value;
}

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return AsciiUpper(c);
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs: upper case on even code points, except the 0x139..0x148 and
    // 0x179..0x17E runs where upper case sits on odd code points.
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (oddUpper) return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
    return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}
}  // namespace

UString Utf8ToU(std::string_view s) {
  return platform::Utf8ToUtf16(s);
}

std::string UToUtf8(UStringView s) {
  return platform::Utf16ToUtf8(s);
}

std::string UToAnsi(UStringView s) {
  return platform::Utf8ToLocale(UToUtf8(s));
}

UString AnsiToU(std::string_view s) {
  return Utf8ToU(platform::LocaleToUtf8(s));
}

bool SameTextLocale(UStringView a, UStringView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

bool IsBlank(UStringView s) {
  for (char16_t c : s) {
    if (c > 0x20) return false;
  }
  return true;
}

UString IntToU(std::int64_t v) {
  char buf[24];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
  (void)ec;
  return UString(buf, ptr);
}

std::optional<std::int32_t> TryUToInt32(UStringView s) {
  return ParseDecimal<std::int32_t>(s);
}
std::optional<std::int64_t> TryUToInt64(UStringView s) {
  return ParseDecimal<std::int64_t>(s);
}

}  // namespace vx
