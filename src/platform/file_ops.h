#pragma once
// File and folder operations on paths given as UTF-16 text. Failures come back as error texts
// (UTF-8, empty on success) or as the documented special values.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/io_handle.h"

namespace vx::platform {

// True when the path names an existing file that is not a directory.
[[nodiscard]] bool FileExists(const std::u16string& path);
[[nodiscard]] bool DirectoryExists(const std::u16string& path);
// True when this process may create files in the folder.
[[nodiscard]] bool DirectoryWritable(const std::u16string& path);
// True when the folder belongs to the user this process runs as, who may create files in it.
[[nodiscard]] bool DirectoryIsUsersOwn(const std::u16string& path);
// Size of the file in bytes (the full 64-bit value); -1 when it cannot be read.
[[nodiscard]] std::int64_t FileSizeOf(const std::u16string& path);
// Deletes a folder with all its contents; links inside are removed, never followed.
[[nodiscard]] std::string RemoveDirectoryTree(const std::u16string& path);
// Creates a folder with any missing parents; an existing folder is success.
[[nodiscard]] std::string CreateDirectories(const std::u16string& path);
// Copies a file; fails when the target already exists.
[[nodiscard]] std::string CopyFileNoOverwrite(const std::u16string& from, const std::u16string& to);

// Finds a file whose name equals the last part of `path` without regard to ASCII letter case,
// in the directory part of `path` (the current directory when there is none): the exact name
// first, then the first match in name order. nullopt when there is none.
[[nodiscard]] std::optional<std::u16string> FindFileIgnoringCase(const std::u16string& path);
// Writes a small file, replacing it when it exists.
[[nodiscard]] std::string WriteSmallFile(const std::u16string& path, std::string_view content);
// Reads a file of at most maxBytes bytes; nullopt when it cannot be read or is larger.
[[nodiscard]] std::optional<std::string> ReadSmallFile(const std::u16string& path, std::size_t maxBytes);

// A file open for writing; closed with the object.
class FileWriter {
 public:
  explicit FileWriter(IoHandle file) : file_(std::move(file)) {}
  // Appends all bytes; an error text, empty on success.
  [[nodiscard]] std::string Write(std::span<const char> bytes);

 private:
  IoHandle file_;
};

// A folder that files are written into without ever reaching outside it: paths inside it are
// given as their parts, and no link met inside it is followed (a write through one fails).
class ConfinedFolder {
 public:
  // Opens an existing folder; nullopt with `error` set to the system's reason when it cannot.
  [[nodiscard]] static std::optional<ConfinedFolder> Open(const std::u16string& path, std::string& error);
  // The folder `parts` below this one, each missing folder on the way created. nullopt with
  // `error` set to "<part>: <reason>" for the part that failed.
  [[nodiscard]] std::optional<ConfinedFolder> SubFolder(std::span<const std::string> parts,
                                                        std::string& error) const;
  // Creates (or empties) the file `name` in this folder for writing, executable when asked.
  // nullopt with `error` set to the system's reason when it cannot.
  [[nodiscard]] std::optional<FileWriter> NewFile(const std::string& name, bool executable,
                                                  std::string& error) const;

 private:
  explicit ConfinedFolder(IoHandle folder) : folder_(std::move(folder)) {}
  IoHandle folder_;
};

// Where the TLS library would be loaded from. The system's TLS library is used here, so the
// value is only kept for whoever asks.
void SetTlsLibraryPath(const std::u16string& path);
[[nodiscard]] std::u16string TlsLibraryPath();

}  // namespace vx::platform
