#include "platform/locale_settings.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstring>

#include "platform/text_codec.h"

namespace vx::platform {

namespace {

// Converts a text of the given code set to UTF-16; empty when it cannot be converted.
std::u16string DecodeText(const char* text, const char* codeSet) {
  std::string_view in = text == nullptr ? std::string_view() : std::string_view(text);
  if (in.empty()) return {};
  iconv_t cd = iconv_open("UTF-8", codeSet);
  if (cd == reinterpret_cast<iconv_t>(-1)) return Utf8ToUtf16(in);
  std::string out(in.size() * 4 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return {};
  out.resize(out.size() - dstLeft);
  return Utf8ToUtf16(out);
}

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

}  // namespace

std::u16string DatePatternFromStrftime(std::u16string_view format) {
  std::u16string out;
  std::u16string literal;
  auto flushLiteral = [&] {
    // Runs holding ASCII letters are quoted; other literal text goes through as it is.
    bool letters = false;
    for (char16_t c : literal) letters = letters || IsAsciiLetter(c);
    if (letters) {
      out += u'"';
      out += literal;
      out += u'"';
    } else {
      out += literal;
    }
    literal.clear();
  };
  for (size_t i = 0; i < format.size(); ++i) {
    char16_t c = format[i];
    if (c != u'%' || i + 1 >= format.size()) {
      literal.push_back(c);
      continue;
    }
    ++i;
    // GNU flags and width ("%-d", "%_m", "%02d") and the E/O modifiers.
    bool noPad = false;
    while (i < format.size() &&
           (format[i] == u'-' || format[i] == u'_' || format[i] == u'0' || format[i] == u'^' ||
            format[i] == u'#' || (format[i] >= u'1' && format[i] <= u'9'))) {
      if (format[i] == u'-') noPad = true;
      ++i;
    }
    while (i < format.size() && (format[i] == u'E' || format[i] == u'O')) ++i;
    if (i >= format.size()) break;
    const char16_t* piece = nullptr;
    switch (format[i]) {
      case u'd':
        piece = noPad ? u"d" : u"dd";
        break;
      case u'e':
        piece = u"d";
        break;
      case u'm':
        piece = noPad ? u"M" : u"MM";
        break;
      case u'y':
        piece = u"yy";
        break;
      case u'Y':
      case u'G':
        piece = u"yyyy";
        break;
      case u'b':
      case u'h':
        piece = u"MMM";
        break;
      case u'B':
        piece = u"MMMM";
        break;
      case u'a':
        piece = u"ddd";
        break;
      case u'A':
        piece = u"dddd";
        break;
      case u'D':
        piece = u"MM/dd/yy";
        break;
      case u'F':
        piece = u"yyyy-MM-dd";
        break;
      case u'%':
        literal.push_back(u'%');
        continue;
      case u't':
        literal.push_back(u'\t');
        continue;
      case u'n':
        literal.push_back(u' ');
        continue;
      default:
        continue;  // no date meaning
    }
    flushLiteral();
    out += piece;
  }
  flushLiteral();
  return out;
}

LocaleFormat ReadLocaleFormat() {
  locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  LocaleFormat f;
  if (loc == static_cast<locale_t>(0)) {
    f.shortDateFormat = u"MM/dd/yy";
    return f;
  }
  const char* codeSet = nl_langinfo_l(CODESET, loc);
  std::u16string thousands = DecodeText(nl_langinfo_l(THOUSEP, loc), codeSet);
  std::u16string decimal = DecodeText(nl_langinfo_l(RADIXCHAR, loc), codeSet);
  std::u16string date = DecodeText(nl_langinfo_l(D_FMT, loc), codeSet);
  freelocale(loc);
  f.thousandSeparator = thousands.empty() ? char16_t{0} : thousands.front();
  if (!decimal.empty()) f.decimalSeparator = decimal.front();
  f.shortDateFormat = DatePatternFromStrftime(date);
  return f;
}

}  // namespace vx::platform
