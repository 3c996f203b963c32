#include "platform/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/text_codec.h"

namespace vx::platform {

namespace {
std::string SystemError(int err) {
  return std::strerror(err);
}
}  // namespace

FileReader::FileReader(const std::u16string& path) {
  fd_ = ::open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw EFileError(SystemError(errno));
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw EFileError(SystemError(EISDIR));
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

FileReader::~FileReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t FileReader::Read(std::span<char> buffer) {
  for (;;) {
    ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw EFileError(SystemError(errno));
  }
}

void FileReader::Rewind() {
  if (::lseek(fd_, 0, SEEK_SET) < 0) throw EFileError(SystemError(errno));
}

std::string ReplaceFileAtomically(const std::u16string& path, const std::string& content) {
  const std::string target = Utf16ToUtf8(path);
  std::string tmp = target + ".XXXXXX";
  int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return SystemError(errno);
  const char* p = content.data();
  std::size_t left = content.size();
  int err = 0;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (err == 0) ::fchmod(fd, 0644);
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(tmp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(tmp.c_str());
    return SystemError(err);
  }
  return {};
}

std::string ReadWholeFile(const std::u16string& path) {
  FileReader reader(path);
  std::string out;
  char buf[65536];
  while (std::size_t n = reader.Read(buf)) out.append(buf, n);
  return out;
}

}  // namespace vx::platform
