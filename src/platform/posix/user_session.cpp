#include "platform/user_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/process.h"

namespace vx::platform {

HWND ProcessMainWindow() {
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
  for (std::size_t done = 0; error.empty() && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = std::strerror(errno);
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 && error.empty()) error = std::strerror(errno);
  return error;
}

}  // namespace vx::platform
