// Connections of a thread to other processes' windows: opened on the first send, kept for the
// next ones, closed when the window hangs up, is found gone or is forgotten; at most
// kMaxCachedConnections per thread. Also the liveness test of a window.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix/window_internal.h"

namespace vx::platform {

namespace detail {

namespace {

constexpr short kHangUp = POLLIN | POLLHUP | POLLERR | POLLRDHUP;

// A cached connection carries nothing unasked: any event on an idle one means the window
// closed it.
bool HungUp(int fd) {
  pollfd p{fd, kHangUp, 0};
  return ::poll(&p, 1, 0) != 0;
}

// Opens a connection to a window for sending; null when it is gone or not this user's.
SocketPtr ConnectNew(WindowHandle h) {
  const std::string path = WindowPath(h);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  auto s = std::make_shared<Socket>(fd);
  // A window whose queue of waiting connections is full makes connect wait; bound that wait.
  timeval tv{kIoTimeoutMs / 1000, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_un addr = SocketAddress(path);
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (errno == ECONNREFUSED) ::unlink(path.c_str());  // the process of that window has ended
    return nullptr;
  }
  if (!PeerIsSameUser(fd)) {
    DebugLine("Okno " + std::to_string(h) + " należy do innego użytkownika - nie wysyłam");
    return nullptr;
  }
  SetNonBlocking(fd);
  return s;
}

void Insert(WindowHandle h, SocketPtr s, bool inUse) {
  ThreadState& t = Thread();
  SweepConnections();
  while (t.outgoing.size() >= kMaxCachedConnections) {
    auto oldest = t.outgoing.end();
    for (auto it = t.outgoing.begin(); it != t.outgoing.end(); ++it) {
      if (!it->second.inUse && (oldest == t.outgoing.end() || it->second.lastUse < oldest->second.lastUse))
        oldest = it;
    }
    if (oldest == t.outgoing.end()) break;  // all busy in nested sends; they end with them
    t.outgoing.erase(oldest);
  }
  t.outgoing[h] = Outgoing{std::move(s), inUse, Clock::now()};
}

}  // namespace

bool ProbeWindow(WindowHandle hwnd, SocketPtr* connected) {
  const std::string path = WindowPath(hwnd);
  // Without descriptors to spare only the socket file can be looked at: a missing file means
  // gone; a present one may be live, and the peer is not declared dead for our shortage.
  auto fileExists = [&path] {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
  };
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return OutOfResources(errno) && fileExists();
  auto s = std::make_shared<Socket>(fd);
  sockaddr_un addr = SocketAddress(path);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    if (!PeerIsSameUser(fd)) return false;
    if (connected != nullptr) *connected = std::move(s);
    return true;
  }
  switch (errno) {
    case EAGAIN:  // alive, with its queue of waiting connections full
      return true;
    case ECONNREFUSED:  // the socket file of a process that has ended
      ::unlink(path.c_str());
      return false;
    default:
      return OutOfResources(errno) && fileExists();
  }
}

Lease AcquireConnection(WindowHandle h, bool allowReuse) {
  ThreadState& t = Thread();
  if (auto it = t.outgoing.find(h); it != t.outgoing.end()) {
    if (it->second.inUse) return Lease{ConnectNew(h), false, false};  // nested send to the same window
    if (allowReuse && !HungUp(it->second.socket->fd())) {
      it->second.inUse = true;
      return Lease{it->second.socket, true, true};
    }
    t.outgoing.erase(it);
  }
  SocketPtr s = ConnectNew(h);
  if (s == nullptr) return {};
  Insert(h, s, true);
  return Lease{std::move(s), true, false};
}

void ReleaseConnection(WindowHandle h, const Lease& lease, bool ok) {
  if (!lease.cached) return;
  ThreadState& t = Thread();
  auto it = t.outgoing.find(h);
  if (it == t.outgoing.end() || it->second.socket != lease.socket) return;  // forgotten meanwhile
  if (!ok) {
    t.outgoing.erase(it);
    return;
  }
  it->second.inUse = false;
  it->second.lastUse = Clock::now();
}

void SweepConnections() {
  ThreadState& t = Thread();
  std::erase_if(t.outgoing,
                [](const auto& entry) { return !entry.second.inUse && HungUp(entry.second.socket->fd()); });
}

void WatchCachedConnections(std::vector<pollfd>& fds) {
  for (const auto& [h, out] : Thread().outgoing) {
    if (!out.inUse) fds.push_back({out.socket->fd(), kHangUp, 0});
  }
}

}  // namespace detail

using namespace detail;

void ForgetWindow(WindowHandle hwnd) {
  Thread().outgoing.erase(hwnd);
}

bool WindowExists(WindowHandle hwnd) {
  if (hwnd <= 0 || hwnd > 0x7FFFFFFF) return false;
  if (FindLocalWindow(hwnd) != nullptr) return true;
  ThreadState& t = Thread();
  if (auto it = t.outgoing.find(hwnd); it != t.outgoing.end()) {
    // An open connection answers without a new descriptor: alive until the window hangs up.
    if (it->second.inUse || !HungUp(it->second.socket->fd())) return true;
    t.outgoing.erase(it);  // hung up; the window may still exist (idle connections are closed)
  }
  SocketPtr connected;
  if (!ProbeWindow(hwnd, &connected)) return false;
  if (connected != nullptr) Insert(hwnd, std::move(connected), false);  // for the next test and send
  return true;
}

}  // namespace vx::platform
