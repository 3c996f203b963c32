#pragma once
// Where a window's socket lives (tests use it to reach windows with crafted frames). Each window
// listens on a Unix stream socket file in the user's private window directory.
#include <cstdint>
#include <string>

#include "platform/common/window_wire.h"

namespace vx::platform::wire {

// The socket file of a window of this user.
[[nodiscard]] std::string SocketPath(std::int64_t hwnd);

}  // namespace vx::platform::wire
