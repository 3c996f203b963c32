#pragma once
// Programs started with an argument vector (no shell, no Windows command-line rules): standard
// input a pipe this process writes, standard output discarded or captured. Also the spool file
// a message is written to before it is handed on, and the names a default sender address needs.
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/io_handle.h"
#include "platform/process.h"

namespace vx::platform {

struct ChildOptions {
  bool pipeInput = false;      // standard input a pipe written with Write, else empty
  bool captureOutput = false;  // standard output a pipe read with ReadOutput, else discarded
  // The child leads a process group of its own, so that ending it (a time-out, or the object
  // going while it runs) ends whatever it has started as well.
  bool ownProcessGroup = false;
};

class PipedChild {
 public:
  PipedChild() = default;
  PipedChild(PipedChild&& other) noexcept = default;
  PipedChild& operator=(PipedChild&&) = delete;
  PipedChild(const PipedChild&) = delete;
  PipedChild& operator=(const PipedChild&) = delete;
  ~PipedChild();  // closes the pipes; a child still running is killed and reaped

  // Starts argv[0] (a path, or a name looked up along PATH); standard error is inherited.
  // nullopt with `error` set when it cannot be started.
  [[nodiscard]] static std::optional<PipedChild> Start(const std::vector<std::string>& argv,
                                                       ChildOptions options, std::string& error);

  // Writes all bytes to the child's standard input; false when it is closed or the child has
  // gone. A child that has gone never ends this process.
  [[nodiscard]] bool Write(std::string_view bytes);
  void CloseInput();
  // Reads the child's output until it closes it, `maxBytes` are read or the deadline passes.
  [[nodiscard]] std::string ReadOutput(std::size_t maxBytes, std::chrono::milliseconds timeout);
  // Waits for the end; a child still running after the timeout is killed (nullopt).
  [[nodiscard]] std::optional<ExitStatus> Wait(std::chrono::milliseconds timeout);

 private:
  Process process_;
  IoHandle input_;
  IoHandle output_;
};

// An unnamed file in the user's temporary folder that only this process can read; it is gone
// once closed.
class SpoolFile {
 public:
  // nullopt when none can be made.
  [[nodiscard]] static std::optional<SpoolFile> Create();
  // Appends all bytes; false on a write error.
  [[nodiscard]] bool Write(std::string_view bytes);
  // Back to the start for reading; the size, or -1.
  [[nodiscard]] long long Rewind();
  // Reads up to buffer.size() bytes; 0 at the end, -1 on error.
  [[nodiscard]] long long Read(std::span<char> buffer);

 private:
  explicit SpoolFile(IoHandle file) : file_(std::move(file)) {}
  IoHandle file_;
};

// The login name of the user and the host name, for a default sender address.
[[nodiscard]] std::string UserLoginName();
[[nodiscard]] std::string HostName();

}  // namespace vx::platform
