#pragma once
// Conversion between UTF-8 and the other character sets text comes in: the locale's code set
// (what the system calls "ANSI") and the character sets named by documents and servers.
#include <optional>
#include <string>
#include <string_view>

#include "platform/common/utf.h"

namespace vx::platform {

// UTF-8 -> the code set of the current locale; characters the code set cannot hold become '?'.
// Where that code set is plain ASCII (the C and POSIX locales) texts stay UTF-8.
[[nodiscard]] std::string Utf8ToLocale(std::string_view utf8);
// The locale's code set -> UTF-8; undecodable bytes become U+FFFD. ASCII as above.
[[nodiscard]] std::string LocaleToUtf8(std::string_view text);
// Text in a named character set ("ISO-8859-2", "windows-1250", "utf-16le", ...) -> UTF-8; each
// undecodable byte becomes U+FFFD. nullopt when the character set is not known.
[[nodiscard]] std::optional<std::string> CharsetToUtf8(std::string_view bytes, const std::string& charset);

}  // namespace vx::platform
