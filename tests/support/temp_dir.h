#pragma once
// A temporary directory for one test, removed with everything in it at the end.
#include <filesystem>
#include <string>

namespace vx::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Reads a whole file; empty when it cannot be read.
[[nodiscard]] std::string ReadFile(const std::filesystem::path& p);
void WriteFile(const std::filesystem::path& p, const std::string& content);

}  // namespace vx::test
