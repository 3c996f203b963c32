#include "json/json_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <new>

namespace vx::json {

namespace {
constexpr std::string_view kLineBreak = "\r\n";

std::string_view IntText(std::int64_t value, char (&buf)[24]) {
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return {buf, static_cast<size_t>(res.ptr - buf)};
}

constexpr char kHex[] = "0123456789abcdef";
}  // namespace

void TJSONWriter::Grow(std::size_t count) {
  if (count > SIZE_MAX / 2 - FUsed) throw std::bad_alloc();
  const std::size_t capacity = std::max({FCapacity * 2, FUsed + count, std::size_t{256}});
  char* data = static_cast<char*>(std::realloc(FData.get(), capacity));
  if (data == nullptr) throw std::bad_alloc();
  (void)FData.release();
  FData.reset(data);
  FCapacity = capacity;
}

void TJSONWriter::Indent() {
  if (FIdent && FIdentOffset > 0) {
    const auto n = static_cast<std::size_t>(FIdentOffset);
    if (FCapacity - FUsed < n) Grow(n);
    std::memset(FData.get() + FUsed, ' ', n);
    FUsed += n;
  }
}

void TJSONWriter::AppendIndented(std::string_view Value, bool CRLF) {
  Indent();
  Put(Value);
  if (CRLF && FIdent) Put(kLineBreak);
}

void TJSONWriter::Append(UStringView Value, bool CRLF) {
  Indent();
  Put(UToUtf8(Value));
  if (CRLF && FIdent) Put(kLineBreak);
}

void TJSONWriter::Append(std::int64_t Value, bool CRLF) {
  char buf[24];
  Append(IntText(Value, buf), CRLF);
}

void TJSONWriter::AppendVal(UStringView Value, bool CRLF) {
  Put(UToUtf8(Value));
  if (CRLF) Put(kLineBreak);
}

void TJSONWriter::AppendVal(std::int64_t Value, bool CRLF) {
  char buf[24];
  Append(IntText(Value, buf), CRLF);
}

void TJSONWriter::AppendFloat(double Value) {
  std::string text;
  json::AppendFloat(text, Value);
  Put(text);
}

UString TJSONWriter::ToString() const {
  const std::string_view data = Utf8();
  UString out;
  out.reserve(data.size());
  for (unsigned char c : data) {
    if (c >= 0x80) return Utf8ToU(data);
    out.push_back(c);
  }
  return out;
}

namespace {
// Code units 32..126 other than the quotation mark and the backslash are written unchanged.
constexpr std::array<bool, 128> kPlain = [] {
  std::array<bool, 128> plain{};
  for (int c = 32; c <= 126; ++c) plain[static_cast<size_t>(c)] = c != '"' && c != '\\';
  return plain;
}();

// Escapes `text` into dst, which has room for kEscapedMax characters per unit; answers the end,
// and whether an embedded NUL ended the text.
char* EscapeTo(char* dst, UStringView text, bool& stopped) noexcept {
  for (const char16_t c : text) {
    if (c < 128 && kPlain[c]) {
      *dst++ = static_cast<char>(c);
      continue;
    }
    char second = 0;
    switch (c) {
      case 0:
        stopped = true;
        return dst;
      case 8:
        second = 'b';
        break;
      case 9:
        second = 't';
        break;
      case 10:
        second = 'n';
        break;
      case 12:
        second = 'f';
        break;
      case 13:
        second = 'r';
        break;
      case u'"':
        second = '"';
        break;
      case u'\\':
        second = '\\';
        break;
      default:
        break;
    }
    *dst++ = '\\';
    if (second != 0) {
      *dst++ = second;
    } else {
      *dst++ = 'u';
      *dst++ = kHex[(c >> 12) & 15];
      *dst++ = kHex[(c >> 8) & 15];
      *dst++ = kHex[(c >> 4) & 15];
      *dst++ = kHex[c & 15];
    }
  }
  return dst;
}
constexpr std::size_t kEscapedMax = 6;
// Texts are escaped in pieces of this many units, so that a long text needs no room for six
// times its length at once.
constexpr std::size_t kPiece = 4096;

// A text that is exactly one NUL is written as an escape; otherwise the text ends at its first
// NUL. `room(n)` answers a place for n characters, `used(end)` takes what was written there.
template <class Room, class Used>
void Escape(UStringView text, Room room, Used used) {
  if (text.size() == 1 && text[0] == 0) {
    used(std::copy_n("\\u0000", 6, room(6)));
    return;
  }
  bool stopped = false;
  while (!text.empty() && !stopped) {
    const UStringView piece = text.substr(0, kPiece);
    text.remove_prefix(piece.size());
    used(EscapeTo(room(piece.size() * kEscapedMax), piece, stopped));
  }
}
}  // namespace

void AppendEscaped(std::string& out, UStringView text) {
  std::size_t size = out.size();
  Escape(
      text,
      [&](std::size_t n) {
        out.resize(size + n);
        return out.data() + size;
      },
      [&](char* end) { size = static_cast<std::size_t>(end - out.data()); });
  out.resize(size);
}

void TJSONWriter::AppendString(UStringView Value) {
  AppendVal('"');
  Escape(
      Value,
      [&](std::size_t n) {
        if (FCapacity - FUsed < n) Grow(n);
        return FData.get() + FUsed;
      },
      [&](char* end) { FUsed = static_cast<std::size_t>(end - FData.get()); });
  AppendVal('"');
}

void AppendFloat(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NAN";
    return;
  }
  if (std::isinf(value)) {
    out += value > 0 ? "INF" : "-INF";
    return;
  }
  if (value == 0) {
    out.push_back('0');
    return;
  }
  // Scientific text with 15 significant digits: [-]d.dddddddddddddde[+-]x
  char sci[40];
  const char* end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 14).ptr;
  const char* p = sci;
  if (*p == '-') {
    out.push_back('-');
    ++p;
  }
  char digits[16];
  int nd = 0;
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.') digits[nd++] = *p;
  }
  while (nd > 0 && digits[nd - 1] == '0') --nd;
  int exp10 = 0;
  ++p;  // 'e'
  if (p != end && *p == '+') ++p;
  std::from_chars(p, end, exp10);
  const int e = exp10 + 1;  // value = 0.d1d2... * 10^e
  if (e >= -3 && e <= 15) {
    if (e <= 0) {
      out.push_back('0');
    } else {
      for (int i = 0; i < e; ++i) out.push_back(i < nd ? digits[i] : '0');
    }
    if (nd > e) {
      out.push_back('.');
      for (int i = e; i < 0; ++i) out.push_back('0');
      out.append(digits + (e > 0 ? e : 0), digits + nd);
    }
  } else {
    out.push_back(digits[0]);
    if (nd > 1) {
      out.push_back('.');
      out.append(digits + 1, digits + nd);
    }
    out.push_back('E');
    char eb[8];
    out.append(eb, std::to_chars(eb, eb + sizeof eb, e - 1).ptr);
  }
}

std::string FloatToJSONText(double value) {
  std::string out;
  AppendFloat(out, value);
  return out;
}

}  // namespace vx::json
