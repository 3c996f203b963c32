// Unpacking of a ZIP archive: the archive is read through libzip and every entry's path is
// checked here; the files are written through the layer's confined folder, which never follows
// a link inside the target.
#include "platform/zip_extract.h"

#include <zip.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "platform/common/utf.h"
#include "platform/file_ops.h"
#include "platform/text_codec.h"

namespace vx::platform {

namespace {

struct ZipDiscard {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileClose {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// The library's texts (the system's among them) come in the locale's code set.
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

// The type and permission bits of an entry made on a Unix system (0 for other entries): the
// file types are the ones of the ZIP format's Unix attributes, the same on every system.
struct UnixAttributes {
  static constexpr std::uint32_t kTypeMask = 0170000;
  static constexpr std::uint32_t kDirectory = 0040000;
  static constexpr std::uint32_t kRegular = 0100000;
  static constexpr std::uint32_t kLink = 0120000;
  static constexpr std::uint32_t kExecutable = 0111;

  std::uint32_t mode = 0;
  [[nodiscard]] std::uint32_t type() const { return mode & kTypeMask; }
};

UnixAttributes AttributesOf(zip_t* za, zip_uint64_t index) {
  zip_uint8_t opsys = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(za, index, 0, &opsys, &attributes) == 0 && opsys == ZIP_OPSYS_UNIX)
    return UnixAttributes{attributes >> 16};
  return {};
}

// Writes one entry; `budget` is what the archive may still unpack and is used up as data is written.
std::string WriteEntry(zip_t* za, zip_uint64_t index, const ConfinedFolder& folder, const std::string& base,
                       bool executable, std::uint64_t& budget) {
  std::unique_ptr<zip_file_t, ZipFileClose> in(zip_fopen_index(za, index, 0));
  if (!in) return ZipText(zip_strerror(za));
  std::string error;
  std::optional<FileWriter> out = folder.NewFile(base, executable, error);
  if (!out) return error;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const zip_int64_t n = zip_fread(in.get(), buffer.data(), buffer.size());
    if (n < 0) return ZipText(zip_file_strerror(in.get()));
    if (n == 0) break;
    if (static_cast<std::uint64_t>(n) > budget) return "archive refused: unpacked size over the bound";
    budget -= static_cast<std::uint64_t>(n);
    if (std::string e = out->Write({buffer.data(), static_cast<std::size_t>(n)}); !e.empty()) return e;
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
  std::string openError;
  const std::optional<ConfinedFolder> root = ConfinedFolder::Open(folder, openError);
  if (!root) {
    result.error = Utf16ToUtf8(folder) + ": " + openError;
    return result;
  }

  const zip_int64_t count = zip_get_num_entries(za.get(), 0);
  result.error = CheckDeclaredSize(za.get(), count, limits);
  if (!result.error.empty()) return result;
  std::uint64_t budget = limits.maxTotalBytes;
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    const char* rawName = zip_get_name(za.get(), index, ZIP_FL_ENC_GUESS);
    if (rawName == nullptr) {
      result.error = ZipText(zip_strerror(za.get()));
      return result;
    }
    const std::string name = rawName;
    const UnixAttributes attributes = AttributesOf(za.get(), index);
    const std::uint32_t type = attributes.type();

    std::string why;
    std::optional<std::vector<std::string>> parts = SafeParts(name, why);
    if (parts && type != 0 && type != UnixAttributes::kRegular && type != UnixAttributes::kDirectory) {
      why = type == UnixAttributes::kLink ? "symbolic link" : "special file";
      parts.reset();
    }
    if (!parts) {
      std::string text = name + ": " + why + " refused";
      if (result.error.empty()) result.error = text;
      result.refused.push_back(std::move(text));
      continue;
    }
    if (parts->empty()) continue;  // the folder itself

    const bool isDirectory = type == UnixAttributes::kDirectory || name.back() == '/' || name.back() == '\\';
    const std::size_t folderParts = isDirectory ? parts->size() : parts->size() - 1;
    std::optional<ConfinedFolder> sub;
    if (folderParts > 0) {
      std::string error;
      sub = root->SubFolder(std::span(*parts).first(folderParts), error);
      if (!sub) {
        result.error = name + ": " + error;
        return result;
      }
    }
    if (isDirectory) continue;
    const bool executable = (attributes.mode & UnixAttributes::kExecutable) != 0;
    std::string writeError =
        WriteEntry(za.get(), index, sub ? *sub : *root, parts->back(), executable, budget);
    if (!writeError.empty()) {
      result.error = name + ": " + writeError;
      return result;
    }
  }
  return result;
}

}  // namespace vx::platform
