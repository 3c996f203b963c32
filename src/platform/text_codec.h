#pragma once
// Conversion between UTF-8 and the locale's code set (what the system calls "ANSI").
#include <string>
#include <string_view>

namespace vx::platform {

// UTF-8 -> the code set of the current locale (nl_langinfo(CODESET)); characters the code set
// cannot hold become '?'.
[[nodiscard]] std::string Utf8ToLocale(std::string_view utf8);
// The locale's code set -> UTF-8; undecodable bytes become U+FFFD.
[[nodiscard]] std::string LocaleToUtf8(std::string_view text);

}  // namespace vx::platform

namespace vx::platform {

// UTF-8 -> UTF-16. Invalid sequences become U+FFFD.
[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view s);
// UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD.
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view s);

}  // namespace vx::platform
