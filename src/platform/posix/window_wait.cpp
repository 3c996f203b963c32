// The wait loop of a thread's windows (accepting senders, assembling and serving their frames,
// closing what is idle, late or over the bounds) and the synchronous send built on it.
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/posix/window_internal.h"

namespace vx::platform {

namespace detail {

namespace {

void Drop(Window& w, const ConnectionPtr& c) {
  c->dropped = true;
  std::erase(w.connections, c);
}

bool Idle(const Connection& c) {
  return !c.serving && !c.reader.Started();
}

// Closes the connection of `w` that has waited longest without a frame; with `evenPartial`,
// failing that, the one whose frame began longest ago. False when none could go.
bool DropOldest(Window& w, bool evenPartial) {
  ConnectionPtr oldest;
  for (const ConnectionPtr& c : w.connections) {
    if (Idle(*c) && (oldest == nullptr || c->lastActivity < oldest->lastActivity)) oldest = c;
  }
  if (oldest == nullptr && evenPartial) {
    for (const ConnectionPtr& c : w.connections) {
      if (!c->serving && (oldest == nullptr || c->frameStart < oldest->frameStart)) oldest = c;
    }
  }
  if (oldest == nullptr) return false;
  Drop(w, oldest);
  return true;
}

bool DropOldestIdleOfThread() {
  Window* from = nullptr;
  Clock::time_point when = Clock::time_point::max();
  for (const WindowPtr& w : Thread().windows) {
    for (const ConnectionPtr& c : w->connections) {
      if (Idle(*c) && c->lastActivity < when) {
        when = c->lastActivity;
        from = w.get();
      }
    }
  }
  return from != nullptr && DropOldest(*from, false);
}

// Accepts waiting senders of `w`; true when anything was done.
bool AcceptFrom(Window& w) {
  bool progress = false;
  for (int i = 0; i < 8 && w.listener != nullptr; ++i) {
    int fd = ::accept4(w.listener->fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR) continue;
      if (OutOfResources(errno)) {
        // Out of descriptors: make room from idle connections, or let the listener rest a
        // while rather than find it readable again at once.
        if (DropOldestIdleOfThread()) {
          progress = true;
          continue;
        }
        w.acceptPausedUntil = Clock::now() + kAcceptBackoff;
      }
      return progress;
    }
    progress = true;
    auto s = std::make_shared<Socket>(fd);
    uid_t uid = 0;
    if (!PeerIsSameUser(fd, &uid)) {
      LogForeignPeer(w.handle, uid);
      continue;
    }
    // At the cap the newcomer is taken in place of the oldest idle (or stalled) connection, so
    // stalled senders cannot keep a live one out.
    if (w.connections.size() >= kMaxConnectionsPerWindow && !DropOldest(w, true)) continue;
    auto c = std::make_shared<Connection>();
    c->socket = std::move(s);
    w.connections.push_back(std::move(c));
  }
  return progress;
}

// Runs the window procedure for the frame completed on `c` and answers it.
void Serve(const WindowPtr& w, const ConnectionPtr& c) {
  const wire::Header h = c->reader.header();
  std::vector<unsigned char> payload = c->reader.Take();
  c->serving = true;
  std::intptr_t result = 0;
  if (h.message == kMsgCopyData) {
    CopyDataBlock cds{static_cast<std::uintptr_t>(h.value), static_cast<std::uint32_t>(h.length),
                      payload.data()};
    result = w->proc(w->handle, h.message, static_cast<std::uintptr_t>(h.wParam),
                     reinterpret_cast<std::intptr_t>(&cds));
  } else {
    result = w->proc(w->handle, h.message, static_cast<std::uintptr_t>(h.wParam),
                     static_cast<std::intptr_t>(h.value));
  }
  c->serving = false;
  c->lastActivity = Clock::now();
  // A sender that died no longer needs the answer; one that does not read it is dropped.
  if (!SendAnswer(c->socket->fd(), wire::kReply, h.message, static_cast<std::uint64_t>(result)) &&
      !c->dropped)
    Drop(*w, c);
}

// Closes connections that are idle too long or whose frame is late; the next moment to look.
Clock::time_point Expire(Clock::time_point now) {
  Clock::time_point next = Clock::time_point::max();
  for (const WindowPtr& w : Thread().windows) {
    std::vector<ConnectionPtr> late;
    for (const ConnectionPtr& c : w->connections) {
      if (c->serving) continue;
      const auto due = c->reader.Started() ? FrameDue(*c) : c->lastActivity + kIdleTimeout;
      if (now >= due) {
        if (c->reader.Started())
          DebugLine("Okno " + std::to_string(w->handle) +
                    ": odrzucam niepełną ramkę (nie nadeszła w czasie)");
        late.push_back(c);
      } else {
        next = std::min(next, due);
      }
    }
    for (const ConnectionPtr& c : late) Drop(*w, c);
    if (w->acceptPausedUntil > now) next = std::min(next, w->acceptPausedUntil);
  }
  return next;
}

}  // namespace

WaitResult WaitOnce(int timeoutMs, bool watchQueue, int target, short events) {
  ThreadState& t = Thread();
  const auto now = Clock::now();
  const auto next = Expire(now);

  std::vector<pollfd> fds;
  struct Source {
    WindowPtr window;
    ConnectionPtr connection;  // null: the window's listener
  };
  std::vector<Source> sources;
  if (target >= 0) fds.push_back({target, events, 0});
  if (watchQueue) fds.push_back({t.queue->wakeFd(), POLLIN, 0});
  const std::size_t first = fds.size();
  for (const WindowPtr& w : t.windows) {
    if (w->acceptPausedUntil <= now) {
      fds.push_back({w->listener->fd(), POLLIN, 0});
      sources.push_back({w, nullptr});
    }
    for (const ConnectionPtr& c : w->connections) {
      if (c->serving) continue;  // one frame at a time per connection
      fds.push_back({c->socket->fd(), POLLIN, 0});
      sources.push_back({w, c});
    }
  }
  const std::size_t cached = fds.size();
  WatchCachedConnections(fds);

  if (next != Clock::time_point::max()) {
    const auto untilNext = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
    const int capped = static_cast<int>(std::clamp<long long>(untilNext, 0, INT_MAX));
    timeoutMs = timeoutMs < 0 ? capped : std::min(timeoutMs, capped);
  }
  int n;
  do {
    n = ::poll(fds.data(), fds.size(), timeoutMs);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return WaitResult::Nothing;
  std::size_t at = 0;
  if (target >= 0 && fds[at++].revents != 0) return WaitResult::Target;
  if (watchQueue && fds[at++].revents != 0) return WaitResult::Queued;

  bool served = false;
  for (std::size_t i = first; i < cached; ++i) {
    if (fds[i].revents == 0) continue;
    const Source& src = sources[i - first];
    Window& w = *src.window;
    if (w.listener == nullptr) continue;  // destroyed by a handler meanwhile
    if (src.connection == nullptr) {
      served |= AcceptFrom(w);
      continue;
    }
    Connection& c = *src.connection;
    if (c.dropped || c.serving) continue;
    bool complete = false;
    if (!ReceiveFrom(w, c, complete)) {
      Drop(w, src.connection);
    } else if (complete) {
      Serve(src.window, src.connection);
    }
    served = true;
  }
  for (std::size_t i = cached; i < fds.size(); ++i) {
    if (fds[i].revents != 0) {
      SweepConnections();
      break;
    }
  }
  return served ? WaitResult::Served : WaitResult::Nothing;
}

namespace {

// One attempt to deliver a frame and read its answer by `deadline` (max: no bound). Sets
// `late` when the deadline passed first; the connection then holds a stale answer to come.
std::optional<wire::Header> Deliver(int fd, const wire::Header& head, const void* payload,
                                    Clock::time_point deadline, bool& late) {
  if (!WriteFrame(fd, head, payload, true)) return std::nullopt;
  // Wait for the answer, handling what is sent to this thread's own windows meanwhile.
  for (;;) {
    int timeoutMs = -1;
    if (deadline != Clock::time_point::max()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        late = true;
        return std::nullopt;
      }
      timeoutMs = static_cast<int>(std::min<long long>(left, INT_MAX));
    }
    if (WaitOnce(timeoutMs, false, fd, POLLIN) == WaitResult::Target) break;
  }
  return ReadAnswer(fd);
}

std::optional<std::intptr_t> SendToOtherProcess(WindowHandle h, std::uint32_t msg, std::uintptr_t wParam,
                                                std::intptr_t lParam, Clock::time_point deadline) {
  wire::Header head;
  head.message = msg;
  head.wParam = wParam;
  const void* payload = nullptr;
  if (msg == kMsgCopyData) {
    const auto* cds = reinterpret_cast<const CopyDataBlock*>(lParam);
    if (cds->cbData > wire::kMaxPayload) {
      DebugLine("Okno " + std::to_string(h) + ": nie wysyłam zbyt dużej wiadomości (" +
                std::to_string(cds->cbData) + " bajtów)");
      return std::nullopt;
    }
    head.value = cds->dwData;
    head.length = cds->cbData;
    payload = cds->lpData;
  } else {
    head.value = static_cast<std::uint64_t>(lParam);
  }
  Lease lease = AcquireConnection(h, true);
  if (lease.socket == nullptr) return std::nullopt;
  bool late = false;
  std::optional<wire::Header> answer = Deliver(lease.socket->fd(), head, payload, deadline, late);
  ReleaseConnection(h, lease, answer.has_value());
  if (!answer && lease.reused && !late) {
    // The window may have closed the kept connection as idle just before the frame came:
    // once more on a new one.
    lease = AcquireConnection(h, false);
    if (lease.socket == nullptr) return std::nullopt;
    answer = Deliver(lease.socket->fd(), head, payload, deadline, late);
    ReleaseConnection(h, lease, answer.has_value());
  }
  if (late) DebugLine("Okno " + std::to_string(h) + " nie odpowiedziało w wyznaczonym czasie");
  if (!answer || answer->kind != wire::kReply) {
    if (answer) DebugLine("Okno " + std::to_string(h) + " odmówiło przyjęcia wiadomości");
    return std::nullopt;
  }
  return static_cast<std::intptr_t>(answer->value);
}

}  // namespace

}  // namespace detail

using namespace detail;

std::optional<std::intptr_t> TrySendWindowMessage(WindowHandle hwnd, std::uint32_t msg, std::uintptr_t wParam,
                                                  std::intptr_t lParam, int timeoutMs) {
  if (hwnd <= 0 || hwnd > 0x7FFFFFFF) return std::nullopt;
  if (WindowPtr w = FindLocalWindow(hwnd)) {
    // A window of this thread runs the procedure directly; one of another thread of this
    // process is reached through its socket like any other window.
    if (w->owner == std::this_thread::get_id()) return w->proc(hwnd, msg, wParam, lParam);
  }
  const Clock::time_point deadline =
      timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
  return SendToOtherProcess(hwnd, msg, wParam, lParam, deadline);
}

std::intptr_t SendWindowMessage(WindowHandle hwnd, std::uint32_t msg, std::uintptr_t wParam,
                                std::intptr_t lParam) {
  return TrySendWindowMessage(hwnd, msg, wParam, lParam).value_or(0);
}

}  // namespace vx::platform
