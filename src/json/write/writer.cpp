#include "json/write/writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>

namespace vx::json {

void TJSONWriter::Grow(std::size_t count) {
  if (count > SIZE_MAX / 2 - FUsed) throw std::bad_alloc();
  const std::size_t capacity = std::max({FCapacity * 2, FUsed + count, std::size_t{256}});
  char* data = static_cast<char*>(std::realloc(FData.get(), capacity));
  if (data == nullptr) throw std::bad_alloc();
  (void)FData.release();
  FData.reset(data);
  FCapacity = capacity;
}

void TJSONWriter::Append(std::string_view Value, bool CRLF) {
  if (FIdent && FIdentOffset > 0) {
    std::memset(Room(static_cast<std::size_t>(FIdentOffset)), ' ', static_cast<std::size_t>(FIdentOffset));
    FUsed += static_cast<std::size_t>(FIdentOffset);
  }
  Put(Value);
  if (CRLF && FIdent) Put("\r\n");
}

void TJSONWriter::Append(std::int64_t Value, bool CRLF) {
  char text[20];  // a sign and 19 digits
  Append(std::string_view(text, static_cast<std::size_t>(std::to_chars(text, text + 20, Value).ptr - text)),
         CRLF);
}

void TJSONWriter::AppendFloat(double Value) {
  Put(FloatToJSONText(Value));
}

// Escaping, unit by unit over UTF-16 units: a text that is exactly one NUL is written as \u0000,
// any other text ends at its first NUL; backspace, tab, line feed, form feed and carriage return
// and the quotation mark and backslash get their two-character escapes; every other unit below
// 32 or from 127 on (each half of a surrogate pair apart) is written as \u and four lowercase
// hexadecimal digits; the rest as it is.
template <class Unit>
void TJSONWriter::AppendQuoted(std::basic_string_view<Unit> Value) {
  static constexpr char kHex[] = "0123456789abcdef";
  // The letters of the two-character escapes.
  static constexpr auto kLetters = [] {
    std::array<char, 93> letters{};
    for (const auto& [unit, letter] :
         {std::pair{8, 'b'}, {9, 't'}, {10, 'n'}, {12, 'f'}, {13, 'r'}, {'"', '"'}, {'\\', '\\'}})
      letters[static_cast<std::size_t>(unit)] = letter;
    return letters;
  }();
  if (Value.size() == 1 && Value[0] == 0) return Put("\"\\u0000\"");
  AppendVal('"');
  // Long texts are escaped in pieces, each with room for six characters per unit.
  for (std::size_t from = 0; from < Value.size(); from += 4096) {
    const auto piece = Value.substr(from, 4096);
    char* d = Room(piece.size() * 6);
    for (const Unit unit : piece) {
      const char16_t c = UnitCode(unit);
      if (c >= 32 && c < 127 && c != u'"' && c != u'\\') {
        *d++ = static_cast<char>(c);
        continue;
      }
      if (c == 0) {
        FUsed = static_cast<std::size_t>(d - FData.get());
        return AppendVal('"');
      }
      *d++ = '\\';
      if (c < kLetters.size() && kLetters[c] != 0) {
        *d++ = kLetters[c];
      } else {
        *d++ = 'u';
        for (int shift = 12; shift >= 0; shift -= 4) *d++ = kHex[(c >> shift) & 15];
      }
    }
    FUsed = static_cast<std::size_t>(d - FData.get());
  }
  AppendVal('"');
}
template void TJSONWriter::AppendQuoted(std::basic_string_view<char> Value);
template void TJSONWriter::AppendQuoted(std::basic_string_view<char16_t> Value);

std::string FloatToJSONText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  // Scientific text with 15 significant digits: [-]d.dddddddddddddde[+-]x. The shortest text
  // that reads back as the value is made first: when it has at most 15 digits, it is the value
  // rounded to 15 digits (it lies within half a unit of the double, far less than half a step of
  // the 15th digit), only without the trailing zeros.
  char sci[40];
  const char* end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
  if (std::find(static_cast<const char*>(sci), end, 'e') - sci > (sci[0] == '-' ? 17 : 16)) {
    end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 14).ptr;
  }
  std::string out;
  const char* p = sci;
  if (*p == '-') {
    out += '-';
    ++p;
  }
  std::string digits;
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.') digits += *p;
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  const int nd = static_cast<int>(digits.size());
  int exp10 = 0;
  ++p;  // 'e'
  if (p != end && *p == '+') ++p;
  std::from_chars(p, end, exp10);
  const int e = exp10 + 1;  // value = 0.d1d2... * 10^e
  if (e >= -3 && e <= 15) {
    // Positional: the first e digits (zeros when they run out) or "0", then the rest after a
    // point, behind -e zeros when e is negative.
    if (e <= 0) {
      out += '0';
    } else {
      for (int i = 0; i < e; ++i) out += i < nd ? digits[static_cast<std::size_t>(i)] : '0';
    }
    if (nd > e) {
      out += '.';
      out.append(static_cast<std::size_t>(std::max(0, -e)), '0');
      out.append(digits, static_cast<std::size_t>(std::max(0, e)));
    }
  } else {
    out += digits[0];
    if (nd > 1) out.append(".").append(digits, 1);
    out += 'E';
    out += std::to_string(e - 1);
  }
  return out;
}

}  // namespace vx::json
