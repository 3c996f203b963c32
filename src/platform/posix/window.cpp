#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/debug_channel.h"
#include "platform/posix/window_wire.h"
#include "platform/process.h"
#include "platform/text_codec.h"
#include "platform/window.h"

namespace vx::platform {

namespace wire {

std::array<unsigned char, kHeaderSize> Encode(const Header& h) {
  std::array<unsigned char, kHeaderSize> out{};
  auto put = [&out](std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  put(0, h.magic, 4);
  put(4, h.kind, 4);
  put(8, h.message, 4);
  put(12, h.reserved, 4);
  put(16, h.wParam, 8);
  put(24, h.value, 8);
  put(32, h.length, 8);
  return out;
}

Header Decode(const unsigned char* b) {
  auto get = [b](std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
  };
  Header h;
  h.magic = static_cast<std::uint32_t>(get(0, 4));
  h.kind = static_cast<std::uint32_t>(get(4, 4));
  h.message = static_cast<std::uint32_t>(get(8, 4));
  h.reserved = static_cast<std::uint32_t>(get(12, 4));
  h.wParam = get(16, 8);
  h.value = get(24, 8);
  h.length = get(32, 8);
  return h;
}

std::string SocketName(uid_t uid, HWND hwnd) {
  std::string name(1, '\0');
  name += "vx64-window." + std::to_string(uid) + "." + std::to_string(hwnd);
  return name;
}

}  // namespace wire

namespace {

constexpr int kFrameReadTimeoutSeconds = 5;

void DebugLine(const std::string& text) {
  OutputDebugStringA(Utf8ToLocale(Utf16ToUtf8(ExecutablePath()) + " -> " + text));
}

// An open socket; closed when the last holder lets go, so a handler that outlives its window's
// destruction can still answer on the connection it came from.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  [[nodiscard]] int fd() const { return fd_; }

 private:
  int fd_;
};
using SocketPtr = std::shared_ptr<Socket>;

struct ThreadQueue {
  std::mutex lock;
  std::deque<MSG> posted;
  int wakeFd = -1;
  ThreadQueue() : wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~ThreadQueue() {
    if (wakeFd >= 0) ::close(wakeFd);
  }
  void Push(const MSG& m) {
    {
      std::lock_guard g(lock);
      posted.push_back(m);
    }
    std::uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one);
  }
  bool Pop(MSG& m) {
    // Drain the wake-up first: a message posted after this point wakes the next wait again.
    std::uint64_t drain;
    (void)!::read(wakeFd, &drain, sizeof drain);
    std::lock_guard g(lock);
    if (posted.empty()) return false;
    if (posted.size() > 1) {
      std::uint64_t one = 1;
      (void)!::write(wakeFd, &one, sizeof one);
    }
    m = posted.front();
    posted.pop_front();
    return true;
  }
  bool HasPosted() {
    std::lock_guard g(lock);
    return !posted.empty();
  }
};

struct Window {
  HWND handle = 0;
  WNDPROC proc = nullptr;
  SocketPtr listener;
  std::vector<SocketPtr> connections;  // accepted from senders
  std::shared_ptr<ThreadQueue> queue;  // the owning thread's queue
  std::thread::id owner;
};
using WindowPtr = std::shared_ptr<Window>;

struct Registry {
  std::mutex lock;
  std::unordered_map<std::u16string, WNDPROC> classes;
  std::unordered_map<HWND, WindowPtr> windows;
};

Registry& Reg() {
  static Registry registry;
  return registry;
}

struct ThreadState {
  std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
  std::vector<WindowPtr> windows;                // windows this thread owns
  std::unordered_map<HWND, SocketPtr> outgoing;  // connections to other processes' windows
};

ThreadState& Thread() {
  thread_local ThreadState state;
  return state;
}

WindowPtr FindWindow(HWND h) {
  Registry& r = Reg();
  std::lock_guard g(r.lock);
  auto it = r.windows.find(h);
  return it == r.windows.end() ? nullptr : it->second;
}

sockaddr_un Address(HWND h, socklen_t& len) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string name = wire::SocketName(geteuid(), h);
  std::memcpy(addr.sun_path, name.data(), name.size());
  len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
  return addr;
}

bool PeerIsSameUser(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  return cred.uid == geteuid();
}

void SetReadTimeout(int fd) {
  timeval tv{kFrameReadTimeoutSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

bool ReadAll(int fd, void* buf, std::size_t n) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    ssize_t r = ::recv(fd, p, n, MSG_WAITALL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool WriteAll(int fd, const void* buf, std::size_t n) {
  const auto* p = static_cast<const char*>(buf);
  while (n > 0) {
    ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool WriteFrame(int fd, const wire::Header& h, const void* payload) {
  auto head = wire::Encode(h);
  if (h.length == 0) return WriteAll(fd, head.data(), head.size());
  // Header and payload in one call where the socket buffer allows, to keep latency low.
  iovec iov[2] = {{head.data(), head.size()},
                  {const_cast<void*>(payload), static_cast<std::size_t>(h.length)}};
  msghdr mh{};
  mh.msg_iov = iov;
  mh.msg_iovlen = 2;
  ssize_t r;
  do {
    r = ::sendmsg(fd, &mh, MSG_NOSIGNAL);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return false;
  auto sent = static_cast<std::size_t>(r);
  if (sent < head.size()) {
    return WriteAll(fd, head.data() + sent, head.size() - sent) && WriteAll(fd, payload, h.length);
  }
  sent -= head.size();
  return WriteAll(fd, static_cast<const char*>(payload) + sent, h.length - sent);
}

void DropConnection(Window& w, const SocketPtr& s) {
  std::erase(w.connections, s);
}

// Reads one frame sent to window `w` on connection `s`, runs the window procedure and answers.
void ServeFrame(const WindowPtr& w, const SocketPtr& s) {
  unsigned char head[wire::kHeaderSize];
  if (!ReadAll(s->fd(), head, sizeof head)) {
    DropConnection(*w, s);  // the sender closed its end
    return;
  }
  wire::Header h = wire::Decode(head);
  if (h.magic != wire::kMagic || h.kind != wire::kSend || h.length > wire::kMaxPayload) {
    DebugLine("Okno " + std::to_string(w->handle) + ": odrzucam uszkodzoną ramkę (nagłówek, długość " +
              std::to_string(h.length) + ")");
    DropConnection(*w, s);
    return;
  }
  std::vector<char> payload(static_cast<std::size_t>(h.length));
  if (!payload.empty() && !ReadAll(s->fd(), payload.data(), payload.size())) {
    DebugLine("Okno " + std::to_string(w->handle) + ": odrzucam niepełną ramkę");
    DropConnection(*w, s);
    return;
  }
  std::intptr_t result = 0;
  if (h.message == WM_COPYDATA) {
    COPYDATASTRUCT cds{static_cast<std::uintptr_t>(h.value), static_cast<std::uint32_t>(h.length),
                       payload.data()};
    result = w->proc(w->handle, h.message, static_cast<std::uintptr_t>(h.wParam),
                     reinterpret_cast<std::intptr_t>(&cds));
  } else {
    result = w->proc(w->handle, h.message, static_cast<std::uintptr_t>(h.wParam),
                     static_cast<std::intptr_t>(h.value));
  }
  wire::Header reply;
  reply.kind = wire::kReply;
  reply.message = h.message;
  reply.value = static_cast<std::uint64_t>(result);
  WriteFrame(s->fd(), reply, nullptr);  // a sender that died no longer needs the answer
}

void Accept(const WindowPtr& w) {
  int fd = ::accept4(w->listener->fd(), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  auto s = std::make_shared<Socket>(fd);
  if (!PeerIsSameUser(fd)) {
    ucred cred{};
    socklen_t len = sizeof cred;
    getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len);
    DebugLine("Okno " + std::to_string(w->handle) + ": odrzucam połączenie procesu innego użytkownika (uid " +
              std::to_string(cred.uid) + ")");
    return;
  }
  SetReadTimeout(fd);
  w->connections.push_back(std::move(s));
}

enum class WaitResult { Nothing, Served, Queued, Target };

// Waits up to timeoutMs for something addressed to this thread: a sent message (served here),
// a queued message (when watchQueue), or data on `target` (the answer a send waits for).
WaitResult WaitOnce(int timeoutMs, bool watchQueue, int target) {
  ThreadState& t = Thread();
  std::vector<pollfd> fds;
  struct Source {
    WindowPtr window;
    SocketPtr socket;  // null: the window's listener
  };
  std::vector<Source> sources;
  if (target >= 0) fds.push_back({target, POLLIN, 0});
  if (watchQueue) fds.push_back({t.queue->wakeFd, POLLIN, 0});
  std::size_t first = fds.size();
  for (const WindowPtr& w : t.windows) {
    fds.push_back({w->listener->fd(), POLLIN, 0});
    sources.push_back({w, nullptr});
    for (const SocketPtr& s : w->connections) {
      fds.push_back({s->fd(), POLLIN, 0});
      sources.push_back({w, s});
    }
  }
  int n;
  do {
    n = ::poll(fds.data(), fds.size(), timeoutMs);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return WaitResult::Nothing;
  std::size_t at = 0;
  if (target >= 0 && fds[at++].revents != 0) return WaitResult::Target;
  if (watchQueue && fds[at++].revents != 0) return WaitResult::Queued;
  for (std::size_t i = first; i < fds.size(); ++i) {
    if (fds[i].revents == 0) continue;
    Source& src = sources[i - first];
    if (src.socket == nullptr) {
      Accept(src.window);
    } else if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
      ServeFrame(src.window, src.socket);
    }
    return WaitResult::Served;
  }
  return WaitResult::Nothing;
}

SocketPtr Connect(HWND h) {
  ThreadState& t = Thread();
  if (auto it = t.outgoing.find(h); it != t.outgoing.end()) {
    // A cached connection carries nothing unasked; readable means the window closed it.
    pollfd p{it->second->fd(), POLLIN, 0};
    if (::poll(&p, 1, 0) == 0) return it->second;
    t.outgoing.erase(it);
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  auto s = std::make_shared<Socket>(fd);
  socklen_t len;
  sockaddr_un addr = Address(h, len);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) return nullptr;
  if (!PeerIsSameUser(fd)) {
    DebugLine("Okno " + std::to_string(h) + " należy do innego użytkownika - nie wysyłam");
    return nullptr;
  }
  SetReadTimeout(fd);
  t.outgoing[h] = s;
  return s;
}

std::intptr_t SendToOtherProcess(HWND h, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  SocketPtr s = Connect(h);
  if (s == nullptr) return 0;
  wire::Header head;
  head.message = msg;
  head.wParam = wParam;
  const void* payload = nullptr;
  if (msg == WM_COPYDATA) {
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    head.value = cds->dwData;
    head.length = cds->cbData;
    payload = cds->lpData;
  } else {
    head.value = static_cast<std::uint64_t>(lParam);
  }
  if (!WriteFrame(s->fd(), head, payload)) {
    Thread().outgoing.erase(h);
    return 0;
  }
  // Wait for the answer, handling what is sent to this thread's own windows meanwhile.
  while (WaitOnce(-1, false, s->fd()) != WaitResult::Target) {
  }
  unsigned char raw[wire::kHeaderSize];
  if (!ReadAll(s->fd(), raw, sizeof raw)) {
    Thread().outgoing.erase(h);
    return 0;
  }
  wire::Header reply = wire::Decode(raw);
  if (reply.magic != wire::kMagic || reply.kind != wire::kReply || reply.length != 0) {
    Thread().outgoing.erase(h);
    return 0;
  }
  return static_cast<std::intptr_t>(reply.value);
}

HWND NewHandle() {
  std::uint32_t r = 0;
  while (r == 0) {
    if (getrandom(&r, sizeof r, 0) != sizeof r) r = static_cast<std::uint32_t>(std::rand());
    r &= 0x7FFFFFFF;
  }
  return static_cast<HWND>(r);
}

}  // namespace

bool RegisterClass(std::u16string_view className, WNDPROC proc) {
  Registry& r = Reg();
  std::lock_guard g(r.lock);
  return r.classes.emplace(std::u16string(className), proc).second;
}

HWND CreateWindow(std::u16string_view className) {
  WNDPROC proc;
  {
    Registry& r = Reg();
    std::lock_guard g(r.lock);
    auto it = r.classes.find(std::u16string(className));
    if (it == r.classes.end()) return 0;
    proc = it->second;
  }
  for (int attempt = 0; attempt < 64; ++attempt) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    auto listener = std::make_shared<Socket>(fd);
    HWND h = NewHandle();
    socklen_t len;
    sockaddr_un addr = Address(h, len);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
      if (errno == EADDRINUSE) continue;
      return 0;
    }
    if (::listen(fd, 64) != 0) return 0;
    auto w = std::make_shared<Window>();
    w->handle = h;
    w->proc = proc;
    w->listener = std::move(listener);
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

bool DestroyWindow(HWND hwnd) {
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
  w->connections.clear();
  w->listener.reset();
  return true;
}

bool IsWindow(HWND hwnd) {
  if (hwnd <= 0 || hwnd > 0x7FFFFFFF) return false;
  if (FindWindow(hwnd) != nullptr) return true;
  // Another process's window: its name is taken exactly while its listener is open.
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  socklen_t len;
  sockaddr_un addr = Address(hwnd, len);
  bool taken = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 && errno == EADDRINUSE;
  ::close(fd);
  return taken;
}

std::intptr_t DefWindowProc(HWND, std::uint32_t, std::uintptr_t, std::intptr_t) {
  return 0;
}

std::intptr_t SendMessage(HWND hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  if (hwnd <= 0 || hwnd > 0x7FFFFFFF) return 0;
  if (WindowPtr w = FindWindow(hwnd)) {
    // A window of this thread runs the procedure directly; one of another thread of this
    // process is reached through its socket like any other window.
    if (w->owner == std::this_thread::get_id()) return w->proc(hwnd, msg, wParam, lParam);
  }
  return SendToOtherProcess(hwnd, msg, wParam, lParam);
}

bool PostMessage(HWND hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  WindowPtr w = FindWindow(hwnd);
  if (w == nullptr) return false;
  w->queue->Push(MSG{hwnd, msg, wParam, lParam});
  return true;
}

void PostQuitMessage(int exitCode) {
  Thread().queue->Push(MSG{0, WM_QUIT, static_cast<std::uintptr_t>(exitCode), 0});
}

bool GetMessage(MSG& msg) {
  ThreadState& t = Thread();
  while (!t.queue->Pop(msg)) WaitOnce(-1, true, -1);
  return msg.message != WM_QUIT;
}

bool PeekMessage(MSG& msg) {
  while (WaitOnce(0, false, -1) == WaitResult::Served) {
  }
  return Thread().queue->Pop(msg);
}

void TranslateMessage(const MSG&) {}

std::intptr_t DispatchMessage(const MSG& msg) {
  WindowPtr w = FindWindow(msg.hwnd);
  if (w == nullptr) return 0;
  return w->proc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

bool WaitMessageTimeout(int timeoutMs) {
  if (Thread().queue->HasPosted()) return true;
  return WaitOnce(timeoutMs, true, -1) != WaitResult::Nothing;
}

void Sleep(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace vx::platform
