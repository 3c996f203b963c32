#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "platform/common/ascii.h"
#include "platform/text_codec.h"

extern char** environ;

namespace vx::platform {

namespace {

// Children whose handles went away before they ended. They are reaped whenever the process
// layer is used again (every start, every handle release), so ended children never pile up
// and no extra thread is needed.
struct Orphans {
  std::mutex lock;
  std::vector<pid_t> pids;
};

Orphans& OrphanList() {
  static Orphans orphans;
  return orphans;
}

std::optional<int> DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return std::nullopt;
}

void ReapOrphans() {
  Orphans& o = OrphanList();
  std::lock_guard guard(o.lock);
  std::erase_if(o.pids, [](pid_t pid) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    return r == pid || (r < 0 && errno == ECHILD);
  });
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string DropExeSuffix(std::string_view name) {
  if (name.size() > 4 && EqualNoCase(name.substr(name.size() - 4), ".exe"))
    return std::string(name.substr(0, name.size() - 4));
  return std::string(name);
}

// Looks for `name` in `dir`: the exact name first, then any entry equal to the name or to the
// name without ".exe", ignoring case.
std::optional<std::filesystem::path> FindInDirectory(const std::string& dir, const std::string& name) {
  std::string prefix = dir.empty() ? std::string() : (dir.back() == '/' ? dir : dir + "/");
  if (IsExecutableFile(prefix + name)) return std::filesystem::path(prefix + name);
  std::string stem = DropExeSuffix(name);
  if (stem != name && IsExecutableFile(prefix + stem)) return std::filesystem::path(prefix + stem);

  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return std::nullopt;
  std::vector<std::string> matches;
  while (dirent* e = readdir(d)) {
    std::string_view entry = e->d_name;
    if (EqualNoCase(entry, name) || EqualNoCase(entry, stem)) matches.emplace_back(entry);
  }
  closedir(d);
  // Directory order is arbitrary; sorting keeps the choice stable.
  std::sort(matches.begin(), matches.end());
  for (const std::string& m : matches)
    if (IsExecutableFile(prefix + m)) return std::filesystem::path(prefix + m);
  return std::nullopt;
}

// Splits parameters like a Windows command line: blanks separate, double quotes group, and ""
// inside quotes is one quote character.
std::vector<std::string> SplitParameters(std::u16string_view params) {
  std::vector<std::u16string> args;
  std::u16string current;
  bool inArg = false;
  bool quoted = false;
  for (size_t i = 0; i < params.size(); ++i) {
    char16_t c = params[i];
    if (c == u'"') {
      inArg = true;
      if (quoted && i + 1 < params.size() && params[i + 1] == u'"') {
        current.push_back(u'"');
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if ((c == u' ' || c == u'\t') && !quoted) {
      if (inArg) args.push_back(std::move(current));
      current.clear();
      inArg = false;
    } else {
      current.push_back(c);
      inArg = true;
    }
  }
  if (inArg) args.push_back(std::move(current));
  std::vector<std::string> out;
  out.reserve(args.size());
  for (const auto& a : args) out.push_back(Utf16ToUtf8(a));
  return out;
}

class SpawnAttributes {
 public:
  SpawnAttributes() {
    posix_spawnattr_init(&attr_);
    posix_spawn_file_actions_init(&actions_);
    // The child starts with no blocked signals and default handlers, whatever the parent set.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr_, &none);
    sigset_t all;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigdefault(&attr_, &all);
    posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // Only the standard streams are passed on, even if some library left a descriptor open.
    posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
  }
  ~SpawnAttributes() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  posix_spawnattr_t* attr() { return &attr_; }
  posix_spawn_file_actions_t* actions() { return &actions_; }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
};

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

Process::Process(Process&& other) noexcept : pid_(other.pid_), exitCode_(other.exitCode_) {
  other.pid_ = 0;
  other.exitCode_.reset();
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Release();
    pid_ = other.pid_;
    exitCode_ = other.exitCode_;
    other.pid_ = 0;
    other.exitCode_.reset();
  }
  return *this;
}

Process::~Process() {
  Release();
}

void Process::Release() {
  if (pid_ > 0 && !exitCode_) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      Orphans& o = OrphanList();
      std::lock_guard guard(o.lock);
      o.pids.push_back(pid_);
    }
  }
  pid_ = 0;
  exitCode_.reset();
  ReapOrphans();
}

bool Process::Running() {
  return pid_ > 0 && !ExitCode().has_value();
}

std::optional<int> Process::ExitCode() {
  if (exitCode_ || pid_ <= 0) return exitCode_;
  int status = 0;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    exitCode_ = DecodeStatus(status);
  } else if (r < 0 && errno == ECHILD) {
    // Reaped elsewhere: the process has ended, its code is unknown.
    exitCode_ = -1;
  }
  return exitCode_;
}

int Process::Wait() {
  if (exitCode_) return *exitCode_;
  if (pid_ <= 0) return -1;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, 0);
    if (r == pid_) {
      if (auto code = DecodeStatus(status)) {
        exitCode_ = code;
        return *code;
      }
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    exitCode_ = -1;
    return -1;
  }
}

int Process::End(std::chrono::milliseconds grace) {
  if (!Running()) return exitCode_.value_or(-1);
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (Running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (Running()) ::kill(pid_, SIGKILL);
  return Wait();
}

std::optional<std::filesystem::path> FindProgram(const std::u16string& file) {
  std::string name = Utf16ToUtf8(file);
  if (name.empty() || name.find('\0') != std::string::npos) return std::nullopt;
  size_t slash = name.rfind('/');
  if (slash != std::string::npos) {
    std::string dir = slash == 0 ? std::string("/") : name.substr(0, slash);
    std::string base = name.substr(slash + 1);
    if (base.empty()) return std::nullopt;
    return FindInDirectory(dir, base);
  }
  if (auto p = FindInDirectory(std::string(), name)) return std::filesystem::absolute(*p);
  const std::u16string& exeDir = ExecutableDir();
  if (!exeDir.empty())
    if (auto p = FindInDirectory(Utf16ToUtf8(exeDir), name)) return p;
  return std::nullopt;
}

std::optional<Process> ShellExecute(const std::u16string& file, const std::u16string& parameters,
                                    ShellOptions /*options*/) {
  ReapOrphans();
  std::optional<std::filesystem::path> program = FindProgram(file);
  if (!program) return std::nullopt;
  std::string path = program->string();
  std::vector<std::string> args = SplitParameters(parameters);
  std::vector<char*> argv;
  argv.push_back(path.data());
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  SpawnAttributes spawn;
  pid_t pid = 0;
  if (posix_spawn(&pid, path.c_str(), spawn.actions(), spawn.attr(), argv.data(), environ) != 0)
    return std::nullopt;
  return Process(pid);
}

const std::u16string& ExecutablePath() {
  static const std::u16string path = [] {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::u16string() : Utf8ToUtf16(p.string());
  }();
  return path;
}

const std::u16string& ExecutableDir() {
  static const std::u16string dir = [] {
    const std::u16string& path = ExecutablePath();
    size_t slash = path.rfind(u'/');
    if (slash == std::u16string::npos) return std::u16string();
    return slash == 0 ? std::u16string(u"/") : path.substr(0, slash);
  }();
  return dir;
}

std::vector<std::u16string> CommandLineArguments() {
  std::string raw = ReadWholeFile("/proc/self/cmdline");
  std::vector<std::u16string> args;
  size_t pos = 0;
  bool first = true;
  while (pos < raw.size()) {
    size_t end = raw.find('\0', pos);
    if (end == std::string::npos) end = raw.size();
    if (!first) args.push_back(Utf8ToUtf16(std::string_view(raw).substr(pos, end - pos)));
    first = false;
    pos = end + 1;
  }
  return args;
}

void TerminateCurrentProcess(int exitCode) {
  _exit(exitCode);
}

bool Is32BitProcessOn64BitSystem() {
  if constexpr (sizeof(void*) >= 8) {
    return false;
  } else {
    utsname u{};
    if (uname(&u) != 0) return false;
    std::string_view m = u.machine;
    return m == "x86_64" || m == "aarch64" || m == "ppc64" || m == "ppc64le" || m == "s390x" ||
           m == "riscv64" || m == "mips64";
  }
}

std::optional<std::string> EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::u16string UserConfigDir() {
  if (auto dir = EnvironmentVariable("XDG_CONFIG_HOME"); dir && dir->front() == '/') return Utf8ToUtf16(*dir);
  if (auto home = EnvironmentVariable("HOME"); home && home->front() == '/')
    return Utf8ToUtf16(*home + "/.config");
  return {};
}

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

}  // namespace vx::platform
