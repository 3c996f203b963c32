#pragma once
// Standard output that remembers why a write failed, so that a program can end with the reason
// (a full disk, a closed descriptor) instead of losing its output silently.
#include <cstdio>
#include <streambuf>

namespace vx::tools {

// Writes through a stdio stream; the first failure's error number is kept. While it is installed
// (`std::cout.rdbuf(&output)`) the stream fails as soon as a write or flush does.
class TCheckedOutput : public std::streambuf {
 public:
  explicit TCheckedOutput(std::FILE* file) : FFile(file) {}

  // Flushes what is buffered; true when everything written so far has reached the file.
  [[nodiscard]] bool Finish();
  // The error number of the first failure (0 when unknown or none).
  [[nodiscard]] int Error() const { return FError; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  void Fail();
  std::FILE* FFile;
  bool FFailed = false;
  int FError = 0;
};

}  // namespace vx::tools
