#include "platform/posix/descriptors.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/text_codec.h"

namespace vx::platform::detail {

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

long long ReadSome(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long long>(n);
  }
}

std::string ErrorText(int error) {
  return LocaleToUtf8(std::strerror(error));
}

}  // namespace vx::platform::detail
