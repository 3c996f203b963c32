#pragma once
// The library's reasons go to the debug channel, never a password.
#include <string>

#include "platform/debug_channel.h"
#include "platform/text_codec.h"

namespace vx::mapi {

inline void Log(const std::string& utf8) {
  platform::WriteDebugLine(platform::Utf8ToUtf16("vx64 mail: " + utf8));
}

}  // namespace vx::mapi
