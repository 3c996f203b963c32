#pragma once
// Splitting command texts into the words of an argument vector.
#include <string>
#include <string_view>
#include <vector>

namespace vx::platform {

// Splits a command text the way a POSIX shell splits words (no expansions): blanks separate,
// single and double quotes group, a backslash outside single quotes takes the next character
// literally.
[[nodiscard]] std::vector<std::string> SplitCommand(std::string_view command);

// Splits program parameters the way a Windows command line is split: blanks and tabs separate,
// double quotes group, and "" inside quotes is one quote character. The words come as UTF-8.
[[nodiscard]] std::vector<std::string> SplitWindowsParameters(std::u16string_view parameters);

}  // namespace vx::platform
