#pragma once
// Sequential reading of a file in large blocks, and atomic replacement of a small file.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

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
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Reads up to buffer.size() bytes; 0 at the end. Raises EFileError.
  [[nodiscard]] std::size_t Read(std::span<char> buffer);
  // Back to the start of the file.
  void Rewind();
  // The file's size when it was opened.
  [[nodiscard]] std::uint64_t Size() const { return size_; }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Writes `content` to a temporary file beside `path` and renames it over `path`, so readers see
// either the old or the new file, never a damaged one. Returns an error text, empty on success.
[[nodiscard]] std::string ReplaceFileAtomically(const std::u16string& path, const std::string& content);

// Reads a whole (small) file; raises EFileError.
[[nodiscard]] std::string ReadWholeFile(const std::u16string& path);

}  // namespace vx::platform
