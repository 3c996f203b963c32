// The day/month/year pattern of a strftime date format.
#include <string>

#include "platform/locale_settings.h"

namespace vx::platform {

namespace {

// A strftime directive with a date meaning and the pattern it becomes.
struct DateDirective {
  char16_t letter;
  const char16_t* pattern;
  const char16_t* unpadded;  // with the GNU "-" flag (no padding)
};

constexpr DateDirective kDateDirectives[] = {{u'd', u"dd", u"d"},
                                             {u'e', u"d", u"d"},
                                             {u'm', u"MM", u"M"},
                                             {u'y', u"yy", u"yy"},
                                             {u'Y', u"yyyy", u"yyyy"},
                                             {u'G', u"yyyy", u"yyyy"},
                                             {u'b', u"MMM", u"MMM"},
                                             {u'h', u"MMM", u"MMM"},
                                             {u'B', u"MMMM", u"MMMM"},
                                             {u'a', u"ddd", u"ddd"},
                                             {u'A', u"dddd", u"dddd"},
                                             {u'D', u"MM/dd/yy", u"MM/dd/yy"},
                                             {u'F', u"yyyy-MM-dd", u"yyyy-MM-dd"}};

// Directives that stand for literal text.
struct LiteralDirective {
  char16_t letter;
  char16_t text;
};

constexpr LiteralDirective kLiteralDirectives[] = {{u'%', u'%'}, {u't', u'\t'}, {u'n', u' '}};

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsFlagOrWidth(char16_t c) {
  return c == u'-' || c == u'_' || c == u'0' || c == u'^' || c == u'#' || (c >= u'1' && c <= u'9');
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
    if (format[i] != u'%' || i + 1 >= format.size()) {
      literal.push_back(format[i]);
      continue;
    }
    ++i;
    // GNU flags and width ("%-d", "%_m", "%02d") and the E/O modifiers.
    bool noPad = false;
    for (; i < format.size() && IsFlagOrWidth(format[i]); ++i) noPad = noPad || format[i] == u'-';
    while (i < format.size() && (format[i] == u'E' || format[i] == u'O')) ++i;
    if (i >= format.size()) break;
    for (const LiteralDirective& d : kLiteralDirectives)
      if (d.letter == format[i]) literal.push_back(d.text);
    for (const DateDirective& d : kDateDirectives) {
      if (d.letter != format[i]) continue;
      flushLiteral();
      out += noPad ? d.unpadded : d.pattern;
    }
    // Any other directive has no date meaning and is dropped.
  }
  flushLiteral();
  return out;
}

}  // namespace vx::platform
