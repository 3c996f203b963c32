#pragma once
// Sequential reading of a file in large blocks, and atomic replacement of a small file.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "platform/io_handle.h"

namespace vx::platform {

// Raised when a file cannot be opened or read; the message says why (system's wording).
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FileReader {
 public:
  // Opens the file for reading; raises EFileError.
  explicit FileReader(const std::u16string& path);
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Reads up to buffer.size() bytes; 0 at the end. Raises EFileError.
  [[nodiscard]] std::size_t Read(std::span<char> buffer);
  // Back to the start of the file.
  void Rewind();
  // The file's size when it was opened.
  [[nodiscard]] std::uint64_t Size() const { return size_; }

 private:
  IoHandle file_;
  std::uint64_t size_ = 0;
};

// Writes `content` to a temporary file beside `path` and renames it over `path`, so readers see
// either the old or the new file, never a damaged one. The new file keeps the old one's
// permission bits (0644 for a new file). Returns an error text, empty on success.
[[nodiscard]] std::string ReplaceFileAtomically(const std::u16string& path, const std::string& content);

// Reads a whole (small) file; raises EFileError. Only a regular file of at most maxBytes is read:
// a device, a pipe or a directory is refused without blocking, and so is a larger file.
[[nodiscard]] std::string ReadWholeFile(const std::u16string& path, std::uint64_t maxBytes);

// The file a path finally names when it is a symbolic link (followed to the end, relative links
// taken from the link's folder); the path itself otherwise, also when it does not exist yet.
[[nodiscard]] std::u16string LinkTarget(const std::u16string& path);

}  // namespace vx::platform
