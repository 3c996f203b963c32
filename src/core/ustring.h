#pragma once
// UString is the system's text type: UTF-16 code units, as every text rule counts them.
// Conversions happen only at the edges (paths, libraries, the debug channel).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/common/ascii.h"

namespace vx {

using UString = std::u16string;
using UStringView = std::u16string_view;

// UTF-8 -> UTF-16. Invalid sequences become U+FFFD.
[[nodiscard]] UString Utf8ToU(std::string_view s);
// UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD.
[[nodiscard]] std::string UToUtf8(UStringView s);

// Text in the locale's code set ("ANSI"), characters it cannot hold replaced by '?'.
[[nodiscard]] std::string UToAnsi(UStringView s);
[[nodiscard]] UString AnsiToU(std::string_view s);

// Case-insensitive comparison for all letters the system's texts use (Latin, Latin-1, Latin
// Extended-A, Greek, Cyrillic), standing in for the user-locale comparison of names.
[[nodiscard]] bool SameTextLocale(UStringView a, UStringView b);

// True when the text is empty or consists only of U+0000..U+0020.
[[nodiscard]] bool IsBlank(UStringView s);

// Signed decimal text of a number.
[[nodiscard]] UString IntToU(std::int64_t v);
// A signed 32-bit decimal number; nullopt when malformed or out of range.
[[nodiscard]] std::optional<std::int32_t> TryUToInt32(UStringView s);
// A signed 64-bit decimal number; nullopt when malformed or out of range.
[[nodiscard]] std::optional<std::int64_t> TryUToInt64(UStringView s);

}  // namespace vx
