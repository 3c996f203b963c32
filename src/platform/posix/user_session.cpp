#include "platform/user_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/descriptors.h"
#include "platform/process.h"

namespace vx::platform {

WindowHandle ProcessMainWindow() {
  return 0;
}

std::string UserTempFolder() {
  std::string dir = EnvironmentVariable("TMPDIR").value_or("/tmp");
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string WriteUserFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) return std::strerror(errno);
  struct stat st {};
  std::string error;
  if (::fstat(fd, &st) != 0) {
    error = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    error = "not a regular file of this user";
  } else if (::ftruncate(fd, 0) != 0) {
    error = std::strerror(errno);
  }
  if (error.empty()) {
    if (const int written = detail::WriteAll(fd, bytes); written != 0) error = std::strerror(written);
  }
  if (::close(fd) != 0 && error.empty()) error = std::strerror(errno);
  return error;
}

std::optional<FileStatus> StatFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileStatus{S_ISREG(st.st_mode), static_cast<unsigned>(st.st_mode & 07777), st.st_uid == ::geteuid(),
                    static_cast<long long>(st.st_size)};
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  const IoHandle file(fd);
  std::string out;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const long long n = detail::ReadSome(fd, buffer, sizeof buffer);
    if (n < 0) ok = false;
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
    if (out.size() > maxBytes) {
      ok = false;
      break;
    }
  }
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace vx::platform
