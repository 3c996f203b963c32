#pragma once
// Conversion between UTF-8 and UTF-16, the two encodings of the system's text.
#include <string>
#include <string_view>

namespace vx::platform {

// UTF-8 -> UTF-16. Invalid sequences become U+FFFD.
[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view s);
// UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD.
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view s);

}  // namespace vx::platform
