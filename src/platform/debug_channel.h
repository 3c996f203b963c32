#pragma once
// The debugger output channel: always on, needs no set-up. Lines go to syslog at LOG_DEBUG;
// the environment variable VX64_DEBUG_LOG redirects them to "stderr" or to a file (appended).
#include <string_view>

namespace vx::platform {

// Writes one line given in the locale's code set ("ANSI").
void WriteDebugLineAnsi(std::string_view text);
// Writes one line given as UTF-16 text (converted to UTF-8 for the sink).
void WriteDebugLine(std::u16string_view text);

}  // namespace vx::platform
