#include "json/json_writer.h"

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

void TJSONWriter::Append(std::string_view Value, bool CRLF) {
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

void TJSONWriter::AppendVal(std::string_view Value, bool CRLF) {
  FData += Value;
  if (CRLF) FData += kLineBreak;
}

void TJSONWriter::AppendVal(UStringView Value, bool CRLF) {
  AppendUtf16(FData, Value);
  if (CRLF) FData += kLineBreak;
}

void TJSONWriter::AppendVal(std::int64_t Value, bool CRLF) {
  char buf[24];
  Append(IntText(Value, buf), CRLF);
}

void TJSONWriter::AppendString(UStringView Value) {
  FData.push_back('"');
  AppendEscaped(FData, Value);
  FData.push_back('"');
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

void AppendEscaped(std::string& out, UStringView text) {
  // A text that is exactly one NUL is written as an escape; otherwise the text ends at its
  // first NUL.
  if (text.size() == 1 && text[0] == 0) {
    out += "\\u0000";
    return;
  }
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    // Copy the run of characters that need no escape in one go.
    size_t j = i;
    while (j < n) {
      const char16_t c = text[j];
      if (c < 32 || c > 126 || c == u'"' || c == u'\\') break;
      ++j;
    }
    if (j > i) {
      const size_t start = out.size();
      out.resize(start + (j - i));
      char* dst = out.data() + start;
      for (size_t k = i; k < j; ++k) *dst++ = static_cast<char>(text[k]);
      i = j;
      if (i == n) break;
    }
    const char16_t c = text[i++];
    switch (c) {
      case 0:
        return;
      case 8:
        out += "\\b";
        break;
      case 9:
        out += "\\t";
        break;
      case 10:
        out += "\\n";
        break;
      case 12:
        out += "\\f";
        break;
      case 13:
        out += "\\r";
        break;
      case u'"':
        out += "\\\"";
        break;
      case u'\\':
        out += "\\\\";
        break;
      default: {
        const char esc[6] = {'\\',        'u', kHex[(c >> 12) & 15], kHex[(c >> 8) & 15], kHex[(c >> 4) & 15],
                             kHex[c & 15]};
        out.append(esc, 6);
        break;
      }
    }
  }
}

std::string FloatToJSONText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  // Scientific text with 15 significant digits: d.dddddddddddddde[+-]x
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
  const bool negative = sci.front() == '-';
  if (negative) sci.remove_prefix(1);
  const size_t ePos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, ePos)) {
    if (c != '.') digits.push_back(c);
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  int exp10 = 0;
  std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exp10);
  const int e = exp10 + 1;  // value = 0.d1d2... * 10^e
  std::string out;
  if (negative) out.push_back('-');
  if (e >= -3 && e <= 15) {
    const int nd = static_cast<int>(digits.size());
    if (e <= 0) {
      out.push_back('0');
    } else {
      for (int i = 0; i < e; ++i) out.push_back(i < nd ? digits[i] : '0');
    }
    if (nd > e) {
      out.push_back('.');
      for (int i = e; i < 0; ++i) out.push_back('0');
      out.append(digits, static_cast<size_t>(e > 0 ? e : 0));
    }
  } else {
    out.push_back(digits[0]);
    if (digits.size() > 1) {
      out.push_back('.');
      out.append(digits, 1);
    }
    out.push_back('E');
    char eb[8];
    auto r = std::to_chars(eb, eb + sizeof eb, e - 1);
    out.append(eb, r.ptr);
  }
  return out;
}

}  // namespace vx::json
