#pragma once
// Starting the project's programs from tests, with their standard output readable line by line.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vx::test {

// Full path of a program built beside the tests.
[[nodiscard]] std::string BinPath(const std::string& name);

class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& args);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  // One line of standard output (without the line feed); nullopt at the end or after the timeout.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // The exit code once the child has ended within the timeout (128 + signal for a signal).
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);
  void Kill(int signal);

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
  std::optional<int> exit_;
};

}  // namespace vx::test
