#include "platform/zip_extract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/text_codec.h"

namespace vx::platform {

namespace {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
      Reset();
      fd_ = o.fd_;
      o.fd_ = -1;
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }
  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool valid() const { return fd_ >= 0; }

 private:
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int fd_;
};

struct ZipDiscard {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileClose {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// The system's texts (also inside the library's) come in the locale's code set.
std::string ErrnoText(int err) {
  return LocaleToUtf8(std::strerror(err));
}

std::string ZipText(const char* text) {
  return LocaleToUtf8(text != nullptr ? text : "");
}

std::string ZipOpenError(int code) {
  zip_error_t e;
  zip_error_init_with_code(&e, code);
  std::string text = ZipText(zip_error_strerror(&e));
  zip_error_fini(&e);
  return text;
}

// Refuses an archive whose entry count or declared unpacked size is beyond the limits.
std::string CheckDeclaredSize(zip_t* za, zip_int64_t count, const ZipLimits& limits) {
  if (count < 0) return ZipText(zip_strerror(za));
  if (static_cast<std::uint64_t>(count) > limits.maxEntries)
    return "archive refused: " + std::to_string(count) + " entries, more than " +
           std::to_string(limits.maxEntries);
  std::uint64_t total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0)
      continue;
    total += std::min<std::uint64_t>(st.size, limits.maxTotalBytes + 1);
    if (total > limits.maxTotalBytes)
      return "archive refused: unpacked size over " + std::to_string(limits.maxTotalBytes) + " bytes";
  }
  return {};
}

// The path of an entry split into its parts; nullopt with `why` set when the entry could land
// outside the target folder.
std::optional<std::vector<std::string>> SafeParts(std::string name, std::string& why) {
  for (char& c : name)
    if (c == '\\') c = '/';
  if (!name.empty() && name.front() == '/') {
    why = "absolute path";
    return std::nullopt;
  }
  if (name.size() >= 2 && name[1] == ':') {
    why = "path with a drive letter";
    return std::nullopt;
  }
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= name.size()) {
    size_t end = name.find('/', pos);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(pos, end - pos);
    if (part == "..") {
      why = "path leaving the folder";
      return std::nullopt;
    }
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    pos = end + 1;
  }
  return parts;
}

// Opens (creating when missing) the sub-folder `name` of `dir` without following links.
std::optional<UniqueFd> OpenSubFolder(const UniqueFd& dir, const std::string& name, std::string& error) {
  if (mkdirat(dir.get(), name.c_str(), 0755) != 0 && errno != EEXIST) {
    error = name + ": " + ErrnoText(errno);
    return std::nullopt;
  }
  UniqueFd fd(openat(dir.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    error = name + ": " + ErrnoText(errno);
    return std::nullopt;
  }
  return fd;
}

// Writes one entry; `budget` is what the archive may still unpack and is used up as data is written.
std::string WriteEntry(zip_t* za, zip_uint64_t index, const UniqueFd& dir, const std::string& base,
                       mode_t mode, std::uint64_t& budget) {
  std::unique_ptr<zip_file_t, ZipFileClose> in(zip_fopen_index(za, index, 0));
  if (!in) return ZipText(zip_strerror(za));
  UniqueFd out(openat(dir.get(), base.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode));
  if (!out.valid()) return ErrnoText(errno);
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    zip_int64_t n = zip_fread(in.get(), buffer.data(), buffer.size());
    if (n < 0) return ZipText(zip_file_strerror(in.get()));
    if (n == 0) break;
    if (static_cast<std::uint64_t>(n) > budget) return "archive refused: unpacked size over the bound";
    budget -= static_cast<std::uint64_t>(n);
    const char* p = buffer.data();
    size_t left = static_cast<size_t>(n);
    while (left > 0) {
      ssize_t w = write(out.get(), p, left);
      if (w < 0) {
        if (errno == EINTR) continue;
        return ErrnoText(errno);
      }
      p += w;
      left -= static_cast<size_t>(w);
    }
  }
  return {};
}

}  // namespace

ZipExtractResult ExtractZip(const std::u16string& archive, const std::u16string& folder, ZipLimits limits) {
  ZipExtractResult result;
  int code = 0;
  std::unique_ptr<zip_t, ZipDiscard> za(zip_open(Utf16ToUtf8(archive).c_str(), ZIP_RDONLY, &code));
  if (!za) {
    result.error = ZipOpenError(code);
    return result;
  }
  UniqueFd root(open(Utf16ToUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!root.valid()) {
    result.error = Utf16ToUtf8(folder) + ": " + ErrnoText(errno);
    return result;
  }

  zip_int64_t count = zip_get_num_entries(za.get(), 0);
  result.error = CheckDeclaredSize(za.get(), count, limits);
  if (!result.error.empty()) return result;
  std::uint64_t budget = limits.maxTotalBytes;
  for (zip_int64_t i = 0; i < count; ++i) {
    auto index = static_cast<zip_uint64_t>(i);
    const char* rawName = zip_get_name(za.get(), index, ZIP_FL_ENC_GUESS);
    if (rawName == nullptr) {
      result.error = ZipText(zip_strerror(za.get()));
      return result;
    }
    std::string name = rawName;

    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    mode_t unixMode = 0;
    if (zip_file_get_external_attributes(za.get(), index, 0, &opsys, &attributes) == 0 &&
        opsys == ZIP_OPSYS_UNIX)
      unixMode = static_cast<mode_t>(attributes >> 16);
    mode_t type = unixMode & S_IFMT;

    std::string why;
    std::optional<std::vector<std::string>> parts = SafeParts(name, why);
    if (parts && type != 0 && type != S_IFREG && type != S_IFDIR) {
      why = type == S_IFLNK ? "symbolic link" : "special file";
      parts.reset();
    }
    if (!parts) {
      std::string text = name + ": " + why + " refused";
      if (result.error.empty()) result.error = text;
      result.refused.push_back(std::move(text));
      continue;
    }
    if (parts->empty()) continue;  // the folder itself

    bool isDirectory = type == S_IFDIR || name.back() == '/' || name.back() == '\\';
    size_t folderParts = isDirectory ? parts->size() : parts->size() - 1;
    std::optional<UniqueFd> dir;
    std::string error;
    const UniqueFd* current = &root;
    for (size_t p = 0; p < folderParts; ++p) {
      dir = OpenSubFolder(*current, (*parts)[p], error);
      if (!dir) {
        result.error = name + ": " + error;
        return result;
      }
      current = &*dir;
    }
    if (isDirectory) continue;
    mode_t mode = (unixMode & 0111) != 0 ? 0755 : 0644;
    std::string writeError = WriteEntry(za.get(), index, *current, parts->back(), mode, budget);
    if (!writeError.empty()) {
      result.error = name + ": " + writeError;
      return result;
    }
  }
  return result;
}

}  // namespace vx::platform
