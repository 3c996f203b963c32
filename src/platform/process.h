#pragma once
// Processes: the running program's identity, starting other programs (what the shell does on
// Windows), and ending the own process at once.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vx::platform {

// The system's number of a process.
using ProcessId = std::int64_t;

// How a process ended.
struct ExitStatus {
  // The exit code as the system's command shell reports it: the code the program ended with,
  // or, for a program ended from outside, the code the shell gives that end. -1 when unknown.
  int code = -1;
  // Ended from outside (killed, or stopped by a fault) rather than by the program itself.
  bool killed = false;

  friend bool operator==(const ExitStatus&, const ExitStatus&) = default;
};

// A started child process. Not copyable; moving transfers the duty to reap it. A child that has
// not been waited for when its handle goes away is reaped later in the background, so no zombie
// processes pile up in a long-running host.
class Process {
 public:
  Process() = default;
  // Takes over a child started by the backend; with `ownGroup` it leads a process group of its
  // own, and ending it ends the whole group.
  Process(ProcessId id, bool ownGroup) : id_(id), ownGroup_(ownGroup) {}
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  [[nodiscard]] ProcessId Id() const { return id_; }
  // True while the process runs (non-blocking check; reaps it when it has ended).
  [[nodiscard]] bool Running();
  // Waits for the end.
  ExitStatus Wait();
  // How the process ended once it has (non-blocking); nullopt while it runs.
  [[nodiscard]] std::optional<ExitStatus> TryWait();
  // Asks the process to end, ends it for good when it is still running after `grace`, and waits
  // for it.
  ExitStatus End(std::chrono::milliseconds grace);
  // Ends the process at once and waits for it.
  ExitStatus Kill();

 private:
  void Release();
  // Asks the process (its group, when it leads one) to end; `atOnce` leaves it no choice.
  void AskToEnd(bool atOnce);
  ProcessId id_ = 0;
  bool ownGroup_ = false;
  std::optional<ExitStatus> status_;
};

struct LaunchOptions {
  bool hidden = false;  // no window here; the child's standard streams are kept
};

// Finds a program: a name with a directory part is taken relative to that directory; a bare name
// is looked up beside the running executable, then in the internal program folder of the install
// the running code belongs to (<prefix>/<libexecdir>/vx64, see InstallPrefixes) - never in the
// current directory, which is wherever the user stands and may hold anything. A trailing ".exe"
// (any case) is dropped and case is ignored when matching, so "vx64BWorker.EXE" finds the
// "vx64BWorker" binary. nullopt when nothing matches.
[[nodiscard]] std::optional<std::filesystem::path> FindProgram(const std::u16string& file);

// Starts a program found by FindProgram with the parameters split like a Windows command line
// (SplitWindowsParameters). nullopt when the program cannot be found or started.
[[nodiscard]] std::optional<Process> LaunchProgram(const std::u16string& file,
                                                   const std::u16string& parameters,
                                                   LaunchOptions options = {});

// Full path of the running executable, and its directory (without a trailing separator).
[[nodiscard]] const std::u16string& ExecutablePath();
[[nodiscard]] const std::u16string& ExecutableDir();
// The folder of the file that holds the running code: the shared library it was linked into,
// else the executable (links resolved). Where the code's install lies (InstallPrefixes).
[[nodiscard]] const std::u16string& RunningCodeFolder();

// The program's command-line arguments, without the program name.
[[nodiscard]] std::vector<std::u16string> CommandLineArguments();

// The value of an environment variable; nullopt when it is unset or empty.
[[nodiscard]] std::optional<std::string> EnvironmentVariable(const char* name);
// The user's folder for settings ($XDG_CONFIG_HOME, else ~/.config); empty when neither is known.
[[nodiscard]] std::u16string UserConfigDir();
// The user's folder for data that can be made again ($XDG_CACHE_HOME, else ~/.cache); empty when
// neither is known.
[[nodiscard]] std::u16string UserCacheDir();

// True when standard error is a terminal (a person may watch progress there).
[[nodiscard]] bool StandardErrorIsTerminal();

// Ends the own process at once with the given exit code; no shut-down code runs.
[[noreturn]] void TerminateCurrentProcess(int exitCode);

// True when this process is 32-bit and the kernel is 64-bit.
[[nodiscard]] bool Is32BitProcessOn64BitSystem();

}  // namespace vx::platform
