#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/user_session.h"

extern char** environ;

namespace vx::platform {

namespace {

void CloseIfOpen(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

}  // namespace

PipedChild::PipedChild(PipedChild&& other) noexcept
    : process_(std::move(other.process_)), input_(other.input_), output_(other.output_) {
  other.input_ = -1;
  other.output_ = -1;
}

PipedChild::~PipedChild() {
  CloseIfOpen(input_);
  CloseIfOpen(output_);
  if (process_.pid() > 0 && process_.Running()) {
    ::kill(process_.pid(), SIGKILL);
    process_.Wait();
  }
}

std::optional<PipedChild> PipedChild::Start(const std::vector<std::string>& argv, bool pipeInput,
                                            bool captureOutput, std::string& error) {
  if (argv.empty() || argv[0].empty()) {
    error = "no program given";
    return std::nullopt;
  }
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  if ((pipeInput && ::pipe2(in, O_CLOEXEC) != 0) || (captureOutput && ::pipe2(out, O_CLOEXEC) != 0)) {
    error = std::strerror(errno);
    for (int* fd : {&in[0], &in[1], &out[0], &out[1]}) CloseIfOpen(*fd);
    return std::nullopt;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (pipeInput) {
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  if (captureOutput) {
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  // The child starts with default signal handling whatever this process has set up.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  CloseIfOpen(in[0]);
  CloseIfOpen(out[1]);
  if (rc != 0) {
    error = argv[0] + ": " + std::strerror(rc);
    CloseIfOpen(in[1]);
    CloseIfOpen(out[0]);
    return std::nullopt;
  }
  PipedChild child;
  child.process_ = Process(pid);
  child.input_ = in[1];
  child.output_ = out[0];
  return child;
}

bool PipedChild::Write(std::string_view bytes) {
  SigpipeGuard guard;
  while (!bytes.empty() && input_ >= 0) {
    const ssize_t n = ::write(input_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return bytes.empty();
}

void PipedChild::CloseInput() {
  CloseIfOpen(input_);
}

std::string PipedChild::ReadOutput(std::size_t maxBytes, std::chrono::milliseconds timeout) {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[4096];
  while (output_ >= 0 && out.size() < maxBytes) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{output_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    const ssize_t n = ::read(output_, buffer, std::min(sizeof buffer, maxBytes - out.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  CloseIfOpen(output_);
  return out;
}

std::optional<int> PipedChild::Wait(std::chrono::milliseconds timeout) {
  CloseIfOpen(input_);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (process_.Running()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(process_.pid(), SIGKILL);
      process_.Wait();
      return std::nullopt;
    }
    ::usleep(5000);
  }
  return process_.ExitCode();
}

SigpipeGuard::SigpipeGuard() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &pipe, &old);
  wasBlocked_ = sigismember(&old, SIGPIPE) == 1;
}

SigpipeGuard::~SigpipeGuard() {
  if (wasBlocked_) return;
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  const timespec zero{0, 0};
  while (sigtimedwait(&pipe, nullptr, &zero) > 0) {
  }
  pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
}

std::vector<std::string> SplitCommand(std::string_view command) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else if (c == '\\' && quote == '"' && i + 1 < command.size()) {
        word.push_back(command[++i]);
      } else {
        word.push_back(c);
      }
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (c == '\\' && i + 1 < command.size()) {
      word.push_back(command[++i]);
      inWord = true;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string UserLoginName() {
  std::string buffer(16384, '\0');
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return EnvironmentVariable("USER").value_or("user");
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

int OpenSpoolFile() {
  const std::string dir = UserTempFolder();
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) fd = ::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  return fd;
}

void CloseFd(int fd) {
  if (fd >= 0) ::close(fd);
}

long long RewindSpoolFile(int fd) {
  const off_t size = ::lseek(fd, 0, SEEK_END);
  if (size < 0 || ::lseek(fd, 0, SEEK_SET) != 0) return -1;
  return static_cast<long long>(size);
}

long long ReadFd(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long long>(n);
  }
}

}  // namespace vx::platform
