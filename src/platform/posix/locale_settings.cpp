#include "platform/locale_settings.h"

#include <langinfo.h>
#include <locale.h>

#include "platform/common/utf.h"
#include "platform/posix/recode.h"

namespace vx::platform {

namespace {

// A text of the locale's code set as UTF-16; empty when it cannot be converted whole. A code set
// the converter does not know is read as UTF-8.
std::u16string DecodeText(const char* text, const char* codeSet) {
  const std::string_view in = text == nullptr ? std::string_view() : std::string_view(text);
  if (in.empty()) return {};
  const std::optional<std::string> utf8 = detail::Recode(in, codeSet, "UTF-8", detail::OnBadInput::Fail);
  return Utf8ToUtf16(utf8 ? *utf8 : in);
}

}  // namespace

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
