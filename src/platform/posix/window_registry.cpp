// The window registry: classes, this process's windows and the private directory their socket
// files live in.
#include <dirent.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/debug_channel.h"
#include "platform/posix/window_internal.h"
#include "platform/posix/window_socket.h"
#include "platform/process.h"
#include "platform/text_codec.h"

namespace vx::platform {

namespace detail {

void DebugLine(const std::string& text) {
  WriteDebugLineAnsi(Utf8ToLocale(Utf16ToUtf8(ExecutablePath()) + " -> " + text));
}

Socket::~Socket() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {

struct Registry {
  std::mutex lock;
  std::unordered_map<std::u16string, WindowProcedure> classes;
  std::unordered_map<WindowHandle, WindowPtr> windows;
};

Registry& Reg() {
  static Registry registry;
  return registry;
}

// Where this user's window sockets live: only this user can create, list or reach them.
std::string DirectoryName() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/vx64";
  return "/tmp/vx64-" + std::to_string(geteuid());
}

// Creates the directory when missing; the reason it cannot be used, if any.
std::optional<std::string> PrepareDirectory(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0700) == 0) {
    (void)::chmod(dir.c_str(), 0700);  // whatever the umask took away
  } else if (errno != EEXIST) {
    return "nie można utworzyć katalogu okien " + dir + " (errno " + std::to_string(errno) + ")";
  }
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) return "nie można sprawdzić katalogu okien " + dir;
  if (S_ISLNK(st.st_mode)) return "katalog okien " + dir + " jest dowiązaniem";
  if (!S_ISDIR(st.st_mode)) return dir + " nie jest katalogiem";
  if (st.st_uid != geteuid())
    return "katalog okien " + dir + " należy do innego użytkownika (uid " + std::to_string(st.st_uid) + ")";
  if ((st.st_mode & 07777) != 0700) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "katalog okien " + dir + " ma uprawnienia " + mode + " zamiast 0700";
  }
  if (dir.size() + 12 >= sizeof(sockaddr_un{}.sun_path))
    return "ścieżka katalogu okien " + dir + " jest za długa";
  return std::nullopt;
}

void Refuse(const std::string& reason) {
  const std::string line = "Nie tworzę okna komunikacji: " + reason + " - odmawiam pracy";
  DebugLine(line);
  std::fprintf(stderr, "%s\n", Utf8ToLocale(line).c_str());
}

WindowHandle NewHandle() {
  std::uint32_t r = 0;
  while (r == 0) {
    if (getrandom(&r, sizeof r, 0) != sizeof r) r = static_cast<std::uint32_t>(std::rand());
    r &= 0x7FFFFFFF;
  }
  return static_cast<WindowHandle>(r);
}

bool Bind(int fd, const std::string& path) {
  sockaddr_un addr = SocketAddress(path);
  return ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

// Removes the socket files of windows whose process has ended (once per process).
void SweepDirectory(const std::string& dir) {
  static std::once_flag once;
  std::call_once(once, [&dir] {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return;
    int checked = 0;
    while (dirent* e = ::readdir(d)) {
      char* end = nullptr;
      const long long h = std::strtoll(e->d_name, &end, 10);
      if (end == e->d_name || *end != '\0' || h <= 0 || h > 0x7FFFFFFF) continue;
      if (++checked > 256) break;
      if (FindLocalWindow(h) == nullptr) (void)ProbeWindow(h, nullptr);  // removes a dead window's file
    }
    ::closedir(d);
  });
}

}  // namespace

sockaddr_un SocketAddress(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.data(), std::min(path.size(), sizeof addr.sun_path - 1));
  return addr;
}

bool OutOfResources(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

std::string WindowPath(WindowHandle h) {
  return DirectoryName() + "/" + std::to_string(h);
}

ThreadState& Thread() {
  thread_local ThreadState state;
  return state;
}

WindowPtr FindLocalWindow(WindowHandle h) {
  Registry& r = Reg();
  std::lock_guard g(r.lock);
  auto it = r.windows.find(h);
  return it == r.windows.end() ? nullptr : it->second;
}

bool PeerIsSameUser(int fd, uid_t* peer, pid_t* pid) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  if (peer != nullptr) *peer = cred.uid;
  if (pid != nullptr) *pid = cred.pid;
  return cred.uid == geteuid();
}

void LogForeignPeer(WindowHandle window, uid_t uid) {
  // One line, then at most one per interval with the count of those not logged in between.
  constexpr auto kInterval = std::chrono::seconds(10);
  static std::mutex lock;
  static Clock::time_point last{};
  static bool logged = false;
  static unsigned long long quiet = 0;
  std::lock_guard g(lock);
  const auto now = Clock::now();
  if (logged && now - last < kInterval) {
    ++quiet;
    return;
  }
  std::string line = "Okno " + std::to_string(window) +
                     ": odrzucam połączenie procesu innego użytkownika (uid " + std::to_string(uid) + ")";
  if (quiet > 0) line += "; od poprzedniego wpisu odrzucono jeszcze " + std::to_string(quiet);
  logged = true;
  last = now;
  quiet = 0;
  DebugLine(line);
}

}  // namespace detail

std::string wire::SocketPath(std::int64_t hwnd) {
  return detail::WindowPath(hwnd);
}

using namespace detail;

bool RegisterWindowClass(std::u16string_view className, WindowProcedure proc) {
  Registry& r = Reg();
  std::lock_guard g(r.lock);
  return r.classes.emplace(std::u16string(className), proc).second;
}

WindowHandle CreateMessageWindow(std::u16string_view className) {
  WindowProcedure proc;
  {
    Registry& r = Reg();
    std::lock_guard g(r.lock);
    auto it = r.classes.find(std::u16string(className));
    if (it == r.classes.end()) return 0;
    proc = it->second;
  }
  const std::string dir = DirectoryName();
  if (auto reason = PrepareDirectory(dir)) {
    Refuse(*reason);
    return 0;
  }
  SweepDirectory(dir);
  for (int attempt = 0; attempt < 64; ++attempt) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return 0;
    auto listener = std::make_shared<Socket>(fd);
    const WindowHandle h = NewHandle();
    const std::string path = dir + "/" + std::to_string(h);
    // Listen under a private name first and give the window its name only then, so no one
    // finds the name before it accepts (a refused connection reads as a dead window).
    const std::string pending = dir + "/." + std::to_string(h) + ".new";
    ::unlink(pending.c_str());
    if (!Bind(fd, pending)) return 0;
    const bool named = ::listen(fd, 128) == 0 && ::link(pending.c_str(), path.c_str()) == 0;
    const int error = errno;
    ::unlink(pending.c_str());
    if (!named) {
      if (error == EEXIST) continue;
      return 0;
    }
    auto w = std::make_shared<Window>();
    w->handle = h;
    w->proc = proc;
    w->listener = std::move(listener);
    w->path = path;
    w->queue = Thread().queue;
    w->owner = std::this_thread::get_id();
    {
      Registry& r = Reg();
      std::lock_guard g(r.lock);
      r.windows[h] = w;
    }
    Thread().windows.push_back(w);
    return h;
  }
  return 0;
}

bool DestroyMessageWindow(WindowHandle hwnd) {
  WindowPtr w;
  {
    Registry& r = Reg();
    std::lock_guard g(r.lock);
    auto it = r.windows.find(hwnd);
    if (it == r.windows.end() || it->second->owner != std::this_thread::get_id()) return false;
    w = it->second;
    r.windows.erase(it);
  }
  std::erase(Thread().windows, w);
  ::unlink(w->path.c_str());  // before the listener closes: the name never outlives the window
  for (const ConnectionPtr& c : w->connections) c->dropped = true;
  w->connections.clear();
  w->listener.reset();
  return true;
}

std::intptr_t DefaultWindowProcedure(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
  return 0;
}

}  // namespace vx::platform
