#pragma once
// Programs started with an argument vector (no shell, no Windows command-line rules): standard
// input a pipe this process writes, standard output discarded or captured.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

namespace vx::platform {

class PipedChild {
 public:
  PipedChild() = default;
  PipedChild(PipedChild&& other) noexcept;
  PipedChild& operator=(PipedChild&&) = delete;
  PipedChild(const PipedChild&) = delete;
  PipedChild& operator=(const PipedChild&) = delete;
  ~PipedChild();  // closes the pipes; a child still running is killed and reaped

  // Starts argv[0] (a path, or a name looked up along PATH). Standard input is a pipe when
  // `pipeInput`, else /dev/null; standard output a pipe when `captureOutput`, else /dev/null;
  // standard error is inherited. nullopt with `error` set when it cannot be started.
  [[nodiscard]] static std::optional<PipedChild> Start(const std::vector<std::string>& argv, bool pipeInput,
                                                       bool captureOutput, std::string& error);

  // The descriptor of the child's standard input (-1 when closed or not piped).
  [[nodiscard]] int InputFd() const { return input_; }
  // Writes all bytes to the child's standard input; false when the child has gone.
  [[nodiscard]] bool Write(std::string_view bytes);
  void CloseInput();
  // Reads the child's output until it closes it, `maxBytes` are read or the deadline passes.
  [[nodiscard]] std::string ReadOutput(std::size_t maxBytes, std::chrono::milliseconds timeout);
  // Waits for the end; a child still running after the timeout is killed. The exit code (128 +
  // signal for a signal), nullopt when it had to be killed.
  [[nodiscard]] std::optional<int> Wait(std::chrono::milliseconds timeout);

 private:
  Process process_;
  int input_ = -1;
  int output_ = -1;
};

// While it lives, a write to a pipe whose reader has gone fails with EPIPE instead of ending the
// process with SIGPIPE (the signal is blocked for this thread and a pending one is consumed).
class SigpipeGuard {
 public:
  SigpipeGuard();
  ~SigpipeGuard();
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  bool wasBlocked_ = false;
};

// Splits a command text into words: blanks separate, single and double quotes group, a
// backslash outside single quotes takes the next character literally.
[[nodiscard]] std::vector<std::string> SplitCommand(std::string_view command);

// The login name of the user and the host name, for a default sender address.
[[nodiscard]] std::string UserLoginName();
[[nodiscard]] std::string HostName();

// An unnamed file in the user's temporary folder, readable by this process only; removed when
// closed. -1 when none can be made.
[[nodiscard]] int OpenSpoolFile();
void CloseFd(int fd);
// Rewinds a spool file; its size, or -1.
[[nodiscard]] long long RewindSpoolFile(int fd);
// Reads up to `size` bytes; 0 at the end, -1 on error.
[[nodiscard]] long long ReadFd(int fd, char* buffer, std::size_t size);

}  // namespace vx::platform
