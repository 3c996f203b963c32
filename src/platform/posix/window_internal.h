#pragma once
// Shared state of the message-window backend: the window registry, the per-thread queue and
// connection cache, and the helpers the wait loop and the send path use. Internal to
// src/platform/posix/window_*.cpp.
#include <poll.h>
#include <sys/types.h>
#include <sys/un.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/common/window_wire.h"
#include "platform/window.h"

namespace vx::platform::detail {

using Clock = std::chrono::steady_clock;

// Bounds of what other processes may make a window hold.
inline constexpr std::size_t kMaxConnectionsPerWindow = 64;
inline constexpr auto kIdleTimeout = std::chrono::seconds(60);
inline constexpr auto kAcceptBackoff = std::chrono::milliseconds(100);
inline constexpr int kIoTimeoutMs = 5000;  // connecting, and reading an answer once it has begun
inline constexpr std::size_t kMaxCachedConnections = 16;

// The time a frame of `length` payload bytes may take to arrive in full.
[[nodiscard]] Clock::duration FrameDeadline(std::uint64_t length);

void DebugLine(const std::string& text);

// An open socket; closed when the last holder lets go, so a handler that outlives its window's
// destruction can still answer on the connection it came from.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  [[nodiscard]] int fd() const { return fd_; }

 private:
  int fd_;
};
using SocketPtr = std::shared_ptr<Socket>;

// Posted messages of one thread and the descriptor that wakes its waits.
class ThreadQueue {
 public:
  ThreadQueue();
  ~ThreadQueue();
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;
  void Push(const WindowMessage& m);
  bool Pop(WindowMessage& m);
  [[nodiscard]] bool HasPosted();
  [[nodiscard]] int wakeFd() const { return wakeFd_; }

 private:
  std::mutex lock_;
  std::deque<WindowMessage> posted_;
  int wakeFd_ = -1;
};

// A connection accepted from a sender, with the frame it is assembling.
struct Connection {
  SocketPtr socket;
  wire::FrameReader reader;
  Clock::time_point lastActivity = Clock::now();
  Clock::time_point frameStart{};  // first byte of the frame being assembled
  bool serving = false;            // a frame of it is being handled
  bool dropped = false;            // no longer one of its window's connections
};
using ConnectionPtr = std::shared_ptr<Connection>;

struct Window {
  WindowHandle handle = 0;
  WindowProcedure proc = nullptr;
  SocketPtr listener;
  std::string path;                        // the socket file
  std::vector<ConnectionPtr> connections;  // accepted from senders
  std::shared_ptr<ThreadQueue> queue;      // the owning thread's queue
  std::thread::id owner;
  Clock::time_point acceptPausedUntil{};  // out of descriptors: the listener rests until then
};
using WindowPtr = std::shared_ptr<Window>;

// A connection of this thread to another process's window.
struct Outgoing {
  SocketPtr socket;
  bool inUse = false;  // a send on it waits for its answer
  Clock::time_point lastUse = Clock::now();
};

struct ThreadState {
  std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
  std::vector<WindowPtr> windows;                       // windows this thread owns
  std::unordered_map<WindowHandle, Outgoing> outgoing;  // bounded cache of connections
};

ThreadState& Thread();
[[nodiscard]] WindowPtr FindLocalWindow(WindowHandle h);

// --- the window directory (window_registry.cpp)
// The socket file of a window.
[[nodiscard]] std::string WindowPath(WindowHandle h);
[[nodiscard]] sockaddr_un SocketAddress(const std::string& path);
// The error says the process or the system is out of descriptors or memory, not that a peer is gone.
[[nodiscard]] bool OutOfResources(int error);
// The peer of a connected socket runs as this user.
[[nodiscard]] bool PeerIsSameUser(int fd, uid_t* peer = nullptr, pid_t* pid = nullptr);
// Logs one refused foreign peer, rate-limited to a line per interval.
void LogForeignPeer(WindowHandle window, uid_t uid);

// --- frame I/O (window_frames.cpp)
void SetNonBlocking(int fd);
// Writes a whole frame. While the socket is full it waits, serving this thread's windows when
// `serveWhileWaiting` (two processes sending to each other at once must not block both).
// False when the peer is gone.
bool WriteFrame(int fd, const wire::Header& h, const void* payload, bool serveWhileWaiting);
// Reads an answer frame that has begun to arrive; nullopt when broken or not complete in time.
[[nodiscard]] std::optional<wire::Header> ReadAnswer(int fd);
// Reads what has arrived on an accepted connection; `complete` when a whole frame is there.
// False when the connection is to be dropped (closed by the sender, or a frame refused).
bool ReceiveFrom(const Window& w, Connection& c, bool& complete);
// The moment the frame being assembled on `c` must be complete.
[[nodiscard]] Clock::time_point FrameDue(const Connection& c);
// Answers a frame; false when the answer could not be written at once.
bool SendAnswer(int fd, std::uint32_t kind, std::uint32_t message, std::uint64_t value);

// --- connection cache (window_cache.cpp)
// Whether another process's window lives, found by connecting to it (a killed process's socket
// file is removed on the way); the connection is handed out through `connected` when given.
[[nodiscard]] bool ProbeWindow(WindowHandle hwnd, SocketPtr* connected);
// A connection to another process's window for one send. `cached`: it belongs to the cache
// (give it back with ReleaseConnection); otherwise it is a one-off for a send nested inside
// another send to the same window. `reused`: it was open before this send.
struct Lease {
  SocketPtr socket;
  bool cached = false;
  bool reused = false;
};
[[nodiscard]] Lease AcquireConnection(WindowHandle h, bool allowReuse);
void ReleaseConnection(WindowHandle h, const Lease& lease, bool ok);
// Closes cached connections whose window hung up.
void SweepConnections();
// Adds the idle cached connections to a poll set (a hang-up shows as readable).
void WatchCachedConnections(std::vector<pollfd>& fds);

// --- wait loop (window_wait.cpp)
enum class WaitResult { Nothing, Served, Queued, Target };
// Waits up to timeoutMs for something addressed to this thread: a sent message (served here),
// a queued message (when watchQueue), or `events` on `target` (a send's socket).
WaitResult WaitOnce(int timeoutMs, bool watchQueue, int target, short events);

}  // namespace vx::platform::detail
