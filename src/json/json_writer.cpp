#include "json/json_writer.h"

#include <array>
#include <charconv>
#include <cmath>

namespace vx::json {

namespace {
constexpr std::string_view kLineBreak = "\r\n";

void AppendUtf16(std::string& out, UStringView text) {
  bool ascii = true;
  for (char16_t c : text) {
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
    for (char16_t c : text) out.push_back(static_cast<char>(c));
  } else {
    out += UToUtf8(text);
  }
}

std::string_view IntText(std::int64_t value, char (&buf)[24]) {
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return {buf, static_cast<size_t>(res.ptr - buf)};
}

constexpr char kHex[] = "0123456789abcdef";
}  // namespace

void TJSONWriter::Indent() {
  if (FIdent && FIdentOffset > 0) FData.append(static_cast<size_t>(FIdentOffset), ' ');
}

void TJSONWriter::AppendIndented(std::string_view Value, bool CRLF) {
  Indent();
  FData += Value;
  if (CRLF && FIdent) FData += kLineBreak;
}

void TJSONWriter::Append(UStringView Value, bool CRLF) {
  Indent();
  AppendUtf16(FData, Value);
  if (CRLF && FIdent) FData += kLineBreak;
}

void TJSONWriter::Append(std::int64_t Value, bool CRLF) {
  char buf[24];
  Append(IntText(Value, buf), CRLF);
}

void TJSONWriter::AppendVal(UStringView Value, bool CRLF) {
  AppendUtf16(FData, Value);
  if (CRLF) FData += kLineBreak;
}

void TJSONWriter::AppendVal(std::int64_t Value, bool CRLF) {
  char buf[24];
  Append(IntText(Value, buf), CRLF);
}

void TJSONWriter::AppendFloat(double Value) {
  json::AppendFloat(FData, Value);
}

UString TJSONWriter::ToString() const {
  UString out;
  out.reserve(FData.size());
  for (unsigned char c : FData) {
    if (c >= 0x80) return Utf8ToU(FData);
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
}  // namespace

void AppendEscaped(std::string& out, UStringView text) {
  // A text that is exactly one NUL is written as an escape; otherwise the text ends at its
  // first NUL.
  if (text.size() == 1 && text[0] == 0) {
    out += "\\u0000";
    return;
  }
  // The escaped text is gathered in a small buffer and appended in pieces.
  constexpr size_t kChunk = 256;
  char buf[kChunk + 8];
  size_t k = 0;
  for (const char16_t c : text) {
    if (c < 128 && kPlain[c]) {
      buf[k++] = static_cast<char>(c);
    } else {
      char second = 0;
      switch (c) {
        case 0:
          out.append(buf, k);
          return;
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
      buf[k++] = '\\';
      if (second != 0) {
        buf[k++] = second;
      } else {
        buf[k++] = 'u';
        buf[k++] = kHex[(c >> 12) & 15];
        buf[k++] = kHex[(c >> 8) & 15];
        buf[k++] = kHex[(c >> 4) & 15];
        buf[k++] = kHex[c & 15];
      }
    }
    if (k >= kChunk) {
      out.append(buf, k);
      k = 0;
    }
  }
  out.append(buf, k);
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
