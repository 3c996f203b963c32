#pragma once
// The number and date formatting conventions of the user's locale (the environment's LC_*
// variables), read without changing the process's own C locale.
#include <string>
#include <string_view>

namespace vx::platform {

struct LocaleFormat {
  char16_t thousandSeparator = 0;  // 0 when the locale groups no digits
  char16_t decimalSeparator = u'.';
  std::u16string shortDateFormat;  // day/month/year pattern, e.g. "dd.MM.yyyy"
};

[[nodiscard]] LocaleFormat ReadLocaleFormat();

// Turns a strftime date format ("%d.%m.%Y") into the day/month/year pattern style
// ("dd.MM.yyyy"). Directives without a date meaning are dropped; ASCII letters of the literal
// text are quoted so they are not read as pattern letters.
[[nodiscard]] std::u16string DatePatternFromStrftime(std::u16string_view format);

}  // namespace vx::platform
