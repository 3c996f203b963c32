#include "platform/file_ops.h"

#include <sys/stat.h>

#include <filesystem>
#include <mutex>

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

std::int64_t FileSizeOf(const std::u16string& path) {
  struct stat st {};
  if (stat(Utf16ToUtf8(path).c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

std::string RemoveDirectoryTree(const std::u16string& path) {
  std::error_code ec;
  fs::remove_all(ToPath(path), ec);
  return ec ? ec.message() : std::string();
}

std::string CreateDirectories(const std::u16string& path) {
  std::error_code ec;
  fs::path p = ToPath(path);
  fs::create_directories(p, ec);
  if (ec) return ec.message();
  if (!fs::is_directory(p, ec)) return "Not a directory: " + p.string();
  return {};
}

std::string CopyFileNoOverwrite(const std::u16string& from, const std::u16string& to) {
  std::error_code ec;
  fs::copy_file(ToPath(from), ToPath(to), fs::copy_options::none, ec);
  return ec ? ec.message() : std::string();
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
