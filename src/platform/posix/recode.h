#pragma once
// The backend's one character set converter (iconv), for the public conversions of
// text_codec.h and for the backend's own readers of locale data.
#include <optional>
#include <string>
#include <string_view>

namespace vx::platform::detail {

// What a conversion does with input it cannot convert.
enum class OnBadInput {
  Fail,              // the result is empty
  ReplaceByte,       // one replacement per undecodable byte
  ReplaceCharacter,  // one replacement per UTF-8 character the target cannot hold
};

// Converts `in` from the code set `from` to the code set `to`; nullopt when iconv knows no such
// conversion.
[[nodiscard]] std::optional<std::string> Recode(std::string_view in, const char* from, const char* to,
                                                OnBadInput bad, std::string_view replacement = {});

}  // namespace vx::platform::detail
