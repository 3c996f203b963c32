#pragma once
// File and folder operations on paths given as UTF-16 text. Failures come back as error texts
// (UTF-8, empty on success) or as the documented special values.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx::platform {

// True when the path names an existing file that is not a directory.
[[nodiscard]] bool FileExists(const std::u16string& path);
[[nodiscard]] bool DirectoryExists(const std::u16string& path);
// True when this process may create files in the folder.
[[nodiscard]] bool DirectoryWritable(const std::u16string& path);
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

// Where the TLS library would be loaded from. The system's TLS library is used here, so the
// value is only kept for whoever asks.
void SetTlsLibraryPath(const std::u16string& path);
[[nodiscard]] std::u16string TlsLibraryPath();

}  // namespace vx::platform
