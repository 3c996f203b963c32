#include "support/debug_log.h"

#include <cstdlib>
#include <sstream>

#include "core/ustring.h"
#include "platform/process.h"

namespace vx::test {

DebugLogCapture::DebugLogCapture() {
  if (const char* p = std::getenv("VX64_DEBUG_LOG")) {
    previous_ = p;
    hadPrevious_ = true;
  }
  WriteFile(dir_ / "debug.log", "");
  setenv("VX64_DEBUG_LOG", path().c_str(), 1);
}

DebugLogCapture::~DebugLogCapture() {
  if (hadPrevious_) {
    setenv("VX64_DEBUG_LOG", previous_.c_str(), 1);
  } else {
    unsetenv("VX64_DEBUG_LOG");
  }
}

std::vector<std::string> DebugLogCapture::Lines(bool stripPath) const {
  const std::string exe = UToUtf8(platform::ExecutablePath());
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(dir_ / "debug.log"));
  for (std::string line; std::getline(in, line);) {
    if (stripPath && line.rfind(exe, 0) == 0) line.erase(0, exe.size());
    lines.push_back(line);
  }
  return lines;
}

bool DebugLogCapture::Contains(const std::string& text) const {
  return ReadFile(dir_ / "debug.log").find(text) != std::string::npos;
}

void DebugLogCapture::Clear() {
  WriteFile(dir_ / "debug.log", "");
}

}  // namespace vx::test
