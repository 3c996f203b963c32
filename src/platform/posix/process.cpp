#include "platform/process.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "platform/common/ascii.h"
#include "platform/common/command_line.h"
#include "platform/common/utf.h"
#include "platform/install_layout.h"
#include "platform/posix/spawn.h"

namespace vx::platform {

namespace {

// Children whose handles went away before they ended. They are reaped whenever the process
// layer is used again (every start, every handle release), so ended children never pile up
// and no extra thread is needed.
class OrphanList {
 public:
  void Add(pid_t pid) {
    std::lock_guard guard(lock_);
    pids_.push_back(pid);
  }
  void Reap() {
    std::lock_guard guard(lock_);
    std::erase_if(pids_, [](pid_t pid) {
      int status = 0;
      const pid_t r = waitpid(pid, &status, WNOHANG);
      return r == pid || (r < 0 && errno == ECHILD);
    });
  }

 private:
  std::mutex lock_;
  std::vector<pid_t> pids_;
};

OrphanList& Orphans() {
  static OrphanList orphans;
  return orphans;
}

// A process ended by a signal gets the code a POSIX shell reports for it: 128 + the signal.
std::optional<ExitStatus> DecodeStatus(int status) {
  if (WIFEXITED(status)) return ExitStatus{WEXITSTATUS(status), false};
  if (WIFSIGNALED(status)) return ExitStatus{128 + WTERMSIG(status), true};
  return std::nullopt;
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

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

Process::Process(Process&& other) noexcept
    : id_(other.id_), ownGroup_(other.ownGroup_), status_(other.status_) {
  other.id_ = 0;
  other.status_.reset();
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Release();
    id_ = other.id_;
    ownGroup_ = other.ownGroup_;
    status_ = other.status_;
    other.id_ = 0;
    other.status_.reset();
  }
  return *this;
}

Process::~Process() {
  Release();
}

void Process::Release() {
  const auto pid = static_cast<pid_t>(id_);
  if (pid > 0 && !status_) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == 0) Orphans().Add(pid);
  }
  id_ = 0;
  status_.reset();
  Orphans().Reap();
}

bool Process::Running() {
  return id_ > 0 && !TryWait().has_value();
}

std::optional<ExitStatus> Process::TryWait() {
  if (status_ || id_ <= 0) return status_;
  const auto pid = static_cast<pid_t>(id_);
  int status = 0;
  const pid_t r = waitpid(pid, &status, WNOHANG);
  if (r == pid) {
    status_ = DecodeStatus(status);
  } else if (r < 0 && errno == ECHILD) {
    // Reaped elsewhere: the process has ended, its code is unknown.
    status_ = ExitStatus{};
  }
  return status_;
}

ExitStatus Process::Wait() {
  if (status_) return *status_;
  if (id_ <= 0) return ExitStatus{};
  const auto pid = static_cast<pid_t>(id_);
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, 0);
    if (r == pid) {
      if ((status_ = DecodeStatus(status))) return *status_;
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    status_ = ExitStatus{};
    return *status_;
  }
}

ExitStatus Process::End(std::chrono::milliseconds grace) {
  if (!Running()) return status_.value_or(ExitStatus{});
  AskToEnd(false);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (Running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return Kill();
}

ExitStatus Process::Kill() {
  if (Running()) AskToEnd(true);
  return Wait();
}

void Process::AskToEnd(bool atOnce) {
  const auto pid = static_cast<pid_t>(id_);
  const int signal = atOnce ? SIGKILL : SIGTERM;
  // The whole group when the process leads one; the process itself at least.
  if (!ownGroup_ || ::kill(-pid, signal) != 0) ::kill(pid, signal);
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
  // Never the current directory: a program planted where the user stands must not run.
  const std::u16string& exeDir = ExecutableDir();
  if (!exeDir.empty())
    if (auto p = FindInDirectory(Utf16ToUtf8(exeDir), name)) return p;
  for (const std::string& prefix : InstallPrefixes())
    if (auto p = FindInDirectory(ProgramFolder(prefix, ConfiguredLayout()), name)) return p;
  return std::nullopt;
}

std::optional<Process> LaunchProgram(const std::u16string& file, const std::u16string& parameters,
                                     LaunchOptions /*options*/) {
  Orphans().Reap();
  std::optional<std::filesystem::path> program = FindProgram(file);
  if (!program) return std::nullopt;
  detail::SpawnRequest request;
  request.program = program->string();
  request.argv.push_back(request.program);
  for (std::string& word : SplitWindowsParameters(parameters)) request.argv.push_back(std::move(word));
  pid_t pid = 0;
  if (detail::Spawn(request, pid) != 0) return std::nullopt;
  return Process(pid, request.ownProcessGroup);
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

const std::u16string& RunningCodeFolder() {
  static const std::u16string dir = [] {
    // The loader's entry of the object holding this function: the main program has no name there.
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&RunningCodeFolder), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) != 0 &&
        map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0') {
      char resolved[PATH_MAX];
      if (realpath(map->l_name, resolved) != nullptr) {
        std::string path = resolved;
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos)
          return Utf8ToUtf16(slash == 0 ? std::string("/") : path.substr(0, slash));
      }
    }
    return ExecutableDir();
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

std::u16string UserCacheDir() {
  if (auto dir = EnvironmentVariable("XDG_CACHE_HOME"); dir && dir->front() == '/') return Utf8ToUtf16(*dir);
  if (auto home = EnvironmentVariable("HOME"); home && home->front() == '/')
    return Utf8ToUtf16(*home + "/.cache");
  return {};
}

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

}  // namespace vx::platform
