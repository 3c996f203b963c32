#include "platform/debug_channel.h"

#include "platform/common/utf.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace vx::platform {

namespace {

// The file sink stays open while the variable names the same path.
struct FileSink {
  std::mutex lock;
  std::string path;
  std::FILE* file = nullptr;
};

FileSink& Sink() {
  static FileSink sink;
  return sink;
}

void Write(std::string_view line) {
  const char* target = std::getenv("VX64_DEBUG_LOG");
  if (target == nullptr || *target == '\0') {
    syslog(LOG_DEBUG, "%.*s", static_cast<int>(line.size()), line.data());
    return;
  }
  std::string_view t = target;
  if (t == "none") return;
  if (t == "stderr") {
    std::string out(line);
    out.push_back('\n');
    (void)!write(STDERR_FILENO, out.data(), out.size());
    return;
  }
  FileSink& sink = Sink();
  std::lock_guard guard(sink.lock);
  if (sink.file == nullptr || sink.path != t) {
    if (sink.file != nullptr) std::fclose(sink.file);
    sink.path = std::string(t);
    sink.file = std::fopen(sink.path.c_str(), "ae");
    if (sink.file == nullptr) return;
  }
  std::fwrite(line.data(), 1, line.size(), sink.file);
  std::fputc('\n', sink.file);
  std::fflush(sink.file);
}

}  // namespace

void WriteDebugLineAnsi(std::string_view text) {
  Write(text);
}

void WriteDebugLine(std::u16string_view text) {
  Write(Utf16ToUtf8(text));
}

}  // namespace vx::platform
