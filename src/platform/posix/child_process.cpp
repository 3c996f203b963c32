#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix/descriptors.h"
#include "platform/posix/spawn.h"
#include "platform/user_session.h"

namespace vx::platform {

using detail::Fd;

namespace {

// While it lives, a write to a pipe whose reader has gone fails with EPIPE instead of ending
// the process with SIGPIPE: the signal is blocked for this thread, and one raised meanwhile is
// consumed before it is unblocked.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &Pipe(), &old);
    wasBlocked_ = sigismember(&old, SIGPIPE) == 1;
  }
  ~SigpipeGuard() {
    if (wasBlocked_) return;
    const timespec zero{0, 0};
    while (sigtimedwait(&Pipe(), nullptr, &zero) > 0) {
    }
    pthread_sigmask(SIG_UNBLOCK, &Pipe(), nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  static const sigset_t& Pipe() {
    static const sigset_t set = [] {
      sigset_t s;
      sigemptyset(&s);
      sigaddset(&s, SIGPIPE);
      return s;
    }();
    return set;
  }
  bool wasBlocked_ = false;
};

// Both ends of a new pipe, closed on exec.
bool OpenPipe(IoHandle& read, IoHandle& write) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  read = IoHandle(fds[0]);
  write = IoHandle(fds[1]);
  return true;
}

}  // namespace

PipedChild::~PipedChild() {
  input_.Close();
  output_.Close();
  if (process_.Running()) (void)process_.Kill();
}

std::optional<PipedChild> PipedChild::Start(const std::vector<std::string>& argv, ChildOptions options,
                                            std::string& error) {
  if (argv.empty() || argv[0].empty()) {
    error = "no program given";
    return std::nullopt;
  }
  PipedChild child;
  IoHandle childInput;
  IoHandle childOutput;
  if ((options.pipeInput && !OpenPipe(childInput, child.input_)) ||
      (options.captureOutput && !OpenPipe(child.output_, childOutput))) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  detail::SpawnRequest request;
  request.program = argv[0];
  request.searchPath = true;
  request.argv = argv;
  request.input =
      options.pipeInput ? detail::ChildStream::From(Fd(childInput)) : detail::ChildStream::NullDevice();
  request.output =
      options.captureOutput ? detail::ChildStream::From(Fd(childOutput)) : detail::ChildStream::NullDevice();
  request.ownProcessGroup = options.ownProcessGroup;
  pid_t pid = 0;
  const int rc = detail::Spawn(request, pid);
  if (rc != 0) {
    error = argv[0] + ": " + std::strerror(rc);
    return std::nullopt;
  }
  child.process_ = Process(pid, options.ownProcessGroup);
  return child;
}

bool PipedChild::Write(std::string_view bytes) {
  if (!input_.IsOpen()) return bytes.empty();
  const SigpipeGuard guard;
  return detail::WriteAll(Fd(input_), bytes) == 0;
}

void PipedChild::CloseInput() {
  input_.Close();
}

std::string PipedChild::ReadOutput(std::size_t maxBytes, std::chrono::milliseconds timeout) {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[4096];
  while (output_.IsOpen() && out.size() < maxBytes) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{Fd(output_), POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    const long long n = detail::ReadSome(Fd(output_), buffer, std::min(sizeof buffer, maxBytes - out.size()));
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  output_.Close();
  return out;
}

std::optional<ExitStatus> PipedChild::Wait(std::chrono::milliseconds timeout) {
  input_.Close();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (process_.Running()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      (void)process_.Kill();
      return std::nullopt;
    }
    ::usleep(5000);
  }
  return process_.TryWait();
}

std::optional<SpoolFile> SpoolFile::Create() {
  const std::string dir = UserTempFolder();
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) fd = ::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return std::nullopt;
  return SpoolFile(IoHandle(fd));
}

bool SpoolFile::Write(std::string_view bytes) {
  return detail::WriteAll(Fd(file_), bytes) == 0;
}

long long SpoolFile::Rewind() {
  const off_t size = ::lseek(Fd(file_), 0, SEEK_END);
  if (size < 0 || ::lseek(Fd(file_), 0, SEEK_SET) != 0) return -1;
  return static_cast<long long>(size);
}

long long SpoolFile::Read(std::span<char> buffer) {
  return detail::ReadSome(Fd(file_), buffer.data(), buffer.size());
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

}  // namespace vx::platform
