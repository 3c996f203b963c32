#pragma once
// Helpers of the window tests: raw connections and frames, and a private runtime directory.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/posix/window_socket.h"
#include "platform/window.h"
#include "support/temp_dir.h"

namespace vx::platform {

inline sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  return addr;
}

inline int ConnectPath(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr = AddressOf(path);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline int ConnectTo(WindowHandle h) {
  return ConnectPath(wire::SocketPath(h));
}

// Sends a frame; returns the answer's header, or a header with magic 0 when the window closed
// the connection without one.
inline wire::Header Exchange(int fd, const wire::Header& h, const std::string& payload) {
  wire::Header none;
  none.magic = 0;
  auto head = wire::Encode(h);
  if (send(fd, head.data(), head.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(head.size())) return none;
  if (!payload.empty() && send(fd, payload.data(), payload.size(), MSG_NOSIGNAL) < 0) return none;
  unsigned char reply[wire::kHeaderSize];
  if (recv(fd, reply, sizeof reply, MSG_WAITALL) != static_cast<ssize_t>(sizeof reply)) return none;
  return wire::Decode(reply);
}

inline long long SendRaw(int fd, const wire::Header& h, const std::string& payload) {
  wire::Header answer = Exchange(fd, h, payload);
  return answer.magic == 0 ? -1 : static_cast<long long>(answer.value);
}

inline std::string Utf16Bytes(const std::u16string& s) {
  return std::string(reinterpret_cast<const char*>(s.c_str()), (s.size() + 1) * 2);
}

inline wire::Header CopyDataHeader(std::size_t length) {
  wire::Header h;
  h.message = kMsgCopyData;
  h.length = length;
  return h;
}

// Each test gets its own runtime directory, so the window directory is fresh and its own.
class RuntimeDir {
 public:
  RuntimeDir() {
    chmod(dir_.path().c_str(), 0711);  // other users may pass through, as in /run/user
    setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
  }
  ~RuntimeDir() { unsetenv("XDG_RUNTIME_DIR"); }
  [[nodiscard]] std::filesystem::path windows() const { return dir_ / "vx64"; }
  [[nodiscard]] const std::filesystem::path& path() const { return dir_.path(); }

 private:
  test::TempDir dir_;
};

}  // namespace vx::platform
