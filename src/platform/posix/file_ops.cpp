#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/common/ascii.h"
#include "platform/posix/descriptors.h"
#include "platform/text_codec.h"

namespace vx::platform {

namespace fs = std::filesystem;

namespace {

fs::path ToPath(const std::u16string& p) {
  return fs::path(Utf16ToUtf8(p));
}

struct TlsPath {
  std::mutex lock;
  std::u16string path;
};

// Error texts of the system come in the locale's code set; callers get UTF-8.
std::string Message(const std::error_code& ec) {
  return LocaleToUtf8(ec.message());
}

TlsPath& TlsPathSlot() {
  static TlsPath slot;
  return slot;
}

}  // namespace

bool FileExists(const std::u16string& path) {
  struct stat st {};
  return stat(Utf16ToUtf8(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::u16string& path) {
  struct stat st {};
  return stat(Utf16ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DirectoryWritable(const std::u16string& path) {
  return DirectoryExists(path) && access(Utf16ToUtf8(path).c_str(), W_OK | X_OK) == 0;
}

bool DirectoryIsUsersOwn(const std::u16string& path) {
  struct stat st {};
  return stat(Utf16ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         DirectoryWritable(path);
}

std::int64_t FileSizeOf(const std::u16string& path) {
  struct stat st {};
  if (stat(Utf16ToUtf8(path).c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

std::string RemoveDirectoryTree(const std::u16string& path) {
  std::error_code ec;
  fs::remove_all(ToPath(path), ec);
  return ec ? Message(ec) : std::string();
}

std::string CreateDirectories(const std::u16string& path) {
  std::error_code ec;
  fs::path p = ToPath(path);
  fs::create_directories(p, ec);
  if (ec) return Message(ec);
  if (!fs::is_directory(p, ec)) return "Not a directory: " + p.string();
  return {};
}

std::string CopyFileNoOverwrite(const std::u16string& from, const std::u16string& to) {
  std::error_code ec;
  fs::copy_file(ToPath(from), ToPath(to), fs::copy_options::none, ec);
  return ec ? Message(ec) : std::string();
}

std::optional<std::u16string> FindFileIgnoringCase(const std::u16string& path) {
  if (FileExists(path)) return path;
  const fs::path p = ToPath(path);
  const std::string name = p.filename().string();
  const fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
  std::error_code ec;
  std::vector<std::string> matches;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (EqualNoCase(entry, name)) matches.push_back(std::move(entry));
  }
  std::sort(matches.begin(), matches.end());
  for (const std::string& m : matches) {
    std::u16string found = Utf8ToUtf16((p.has_parent_path() ? (dir / m) : fs::path(m)).string());
    if (FileExists(found)) return found;
  }
  return std::nullopt;
}

std::string WriteSmallFile(const std::u16string& path, std::string_view content) {
  std::error_code ec;
  fs::remove_all(ToPath(path), ec);
  std::ofstream out(ToPath(path), std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  return out ? std::string() : "cannot write " + Utf16ToUtf8(path);
}

std::optional<std::string> ReadSmallFile(const std::u16string& path, std::size_t maxBytes) {
  const std::int64_t size = FileSizeOf(path);
  if (size < 0 || static_cast<std::uint64_t>(size) > maxBytes) return std::nullopt;
  std::ifstream in(ToPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(static_cast<std::size_t>(size), '\0');
  in.read(text.data(), size);
  if (in.gcount() != size) return std::nullopt;
  return text;
}

std::string FileWriter::Write(std::span<const char> bytes) {
  const int error = detail::WriteAll(detail::Fd(file_), std::string_view(bytes.data(), bytes.size()));
  return error == 0 ? std::string() : detail::ErrorText(error);
}

std::optional<ConfinedFolder> ConfinedFolder::Open(const std::u16string& path, std::string& error) {
  const int fd = ::open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = detail::ErrorText(errno);
    return std::nullopt;
  }
  return ConfinedFolder(IoHandle(fd));
}

std::optional<ConfinedFolder> ConfinedFolder::SubFolder(std::span<const std::string> parts,
                                                        std::string& error) const {
  std::optional<ConfinedFolder> sub;
  int at = detail::Fd(folder_);
  for (const std::string& part : parts) {
    if (::mkdirat(at, part.c_str(), 0755) != 0 && errno != EEXIST) {
      error = part + ": " + detail::ErrorText(errno);
      return std::nullopt;
    }
    // A link where a folder should be is not followed: opening it fails.
    const int fd = ::openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      error = part + ": " + detail::ErrorText(errno);
      return std::nullopt;
    }
    sub = ConfinedFolder(IoHandle(fd));
    at = fd;
  }
  if (!sub) {
    const int fd = ::fcntl(detail::Fd(folder_), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
      error = detail::ErrorText(errno);
      return std::nullopt;
    }
    sub = ConfinedFolder(IoHandle(fd));
  }
  return sub;
}

std::optional<FileWriter> ConfinedFolder::NewFile(const std::string& name, bool executable,
                                                  std::string& error) const {
  const int fd = ::openat(detail::Fd(folder_), name.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, executable ? 0755 : 0644);
  if (fd < 0) {
    error = detail::ErrorText(errno);
    return std::nullopt;
  }
  return FileWriter(IoHandle(fd));
}

void SetTlsLibraryPath(const std::u16string& path) {
  TlsPath& slot = TlsPathSlot();
  std::lock_guard guard(slot.lock);
  slot.path = path;
}

std::u16string TlsLibraryPath() {
  TlsPath& slot = TlsPathSlot();
  std::lock_guard guard(slot.lock);
  return slot.path;
}

}  // namespace vx::platform
