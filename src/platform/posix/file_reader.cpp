#include "platform/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/common/utf.h"
#include "platform/posix/descriptors.h"

namespace vx::platform {

namespace {
std::string SystemError(int err) {
  return std::strerror(err);
}
}  // namespace

FileReader::FileReader(const std::u16string& path) {
  const int fd = ::open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFileError(SystemError(errno));
  file_ = IoHandle(fd);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) throw EFileError(SystemError(EISDIR));
  size_ = static_cast<std::uint64_t>(st.st_size);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::size_t FileReader::Read(std::span<char> buffer) {
  const long long n = detail::ReadSome(detail::Fd(file_), buffer.data(), buffer.size());
  if (n < 0) throw EFileError(SystemError(errno));
  return static_cast<std::size_t>(n);
}

void FileReader::Rewind() {
  if (::lseek(detail::Fd(file_), 0, SEEK_SET) < 0) throw EFileError(SystemError(errno));
}

std::string ReplaceFileAtomically(const std::u16string& path, const std::string& content) {
  const std::string target = Utf16ToUtf8(path);
  std::string tmp = target + ".XXXXXX";
  int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return SystemError(errno);
  int err = detail::WriteAll(fd, content);
  struct stat old {};
  const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  if (err == 0 && ::fchmod(fd, mode) != 0) err = errno;
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(tmp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(tmp.c_str());
    return SystemError(err);
  }
  return {};
}

std::string ReadWholeFile(const std::u16string& path, std::uint64_t maxBytes) {
  // Non-blocking, so that opening a FIFO or a terminal returns at once; refused just below.
  const int fd = ::open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) throw EFileError(SystemError(errno));
  const IoHandle file(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw EFileError(SystemError(errno));
  if (!S_ISREG(st.st_mode)) throw EFileError("not a regular file");
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes) throw EFileError(SystemError(EFBIG));
  std::string out;
  out.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const long long n = detail::ReadSome(fd, buf, sizeof buf);
    if (n < 0) throw EFileError(SystemError(errno));
    if (n == 0) break;
    if (out.size() + static_cast<std::size_t>(n) > maxBytes) throw EFileError(SystemError(EFBIG));  // grew
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

std::u16string LinkTarget(const std::u16string& path) {
  std::string current = Utf16ToUtf8(path);
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n <= 0) break;
    target.resize(static_cast<std::size_t>(n));
    if (target.front() != '/') {
      const std::size_t slash = current.rfind('/');
      if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
    }
    current = std::move(target);
  }
  return Utf8ToUtf16(current);
}

}  // namespace vx::platform
