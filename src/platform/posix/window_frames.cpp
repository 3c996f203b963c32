// Frame I/O of message windows: the bounded reads and writes of both sides.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix/window_internal.h"

namespace vx::platform {

namespace detail {

Clock::duration FrameDeadline(std::uint64_t length) {
  // A fixed allowance plus time for the payload at a pace any live sender keeps.
  constexpr std::uint64_t kBytesPerSecond = 8 * 1024 * 1024;
  return std::chrono::seconds(10) + std::chrono::seconds(length / kBytesPerSecond);
}

Clock::time_point FrameDue(const Connection& c) {
  return c.frameStart + FrameDeadline(c.reader.HeaderDone() ? c.reader.header().length : 0);
}

void SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

namespace {

// Waits until `fd` can take more bytes or is broken.
bool WaitWritable(int fd, bool serveWhileWaiting) {
  if (serveWhileWaiting) {
    while (WaitOnce(-1, false, fd, POLLOUT) != WaitResult::Target) {
    }
    return true;
  }
  pollfd p{fd, POLLOUT, 0};
  int n;
  do {
    n = ::poll(&p, 1, kIoTimeoutMs);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

}  // namespace

bool WriteFrame(int fd, const wire::Header& h, const void* payload, bool serveWhileWaiting) {
  auto head = wire::Encode(h);
  iovec iov[2] = {{head.data(), head.size()},
                  {const_cast<void*>(payload), static_cast<std::size_t>(h.length)}};
  msghdr mh{};
  mh.msg_iov = iov;
  mh.msg_iovlen = h.length == 0 ? 1 : 2;
  // Header and payload in one call where the socket buffer allows, to keep latency low.
  while (mh.msg_iovlen > 0) {
    ssize_t r = ::sendmsg(fd, &mh, MSG_NOSIGNAL);
    if (r < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (!WaitWritable(fd, serveWhileWaiting)) return false;
      continue;
    }
    auto sent = static_cast<std::size_t>(r);
    while (mh.msg_iovlen > 0 && sent >= mh.msg_iov->iov_len) {
      sent -= mh.msg_iov->iov_len;
      ++mh.msg_iov;
      --mh.msg_iovlen;
    }
    if (mh.msg_iovlen > 0) {
      mh.msg_iov->iov_base = static_cast<char*>(mh.msg_iov->iov_base) + sent;
      mh.msg_iov->iov_len -= sent;
    }
  }
  return true;
}

std::optional<wire::Header> ReadAnswer(int fd) {
  unsigned char raw[wire::kHeaderSize];
  std::size_t have = 0;
  const auto due = Clock::now() + std::chrono::milliseconds(kIoTimeoutMs);
  while (have < sizeof raw) {
    ssize_t r = ::recv(fd, raw + have, sizeof raw - have, 0);
    if (r > 0) {
      have += static_cast<std::size_t>(r);
      continue;
    }
    if (r == 0) return std::nullopt;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return std::nullopt;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return std::nullopt;
  }
  wire::Header h = wire::Decode(raw);
  if (h.magic != wire::kMagic || (h.kind != wire::kReply && h.kind != wire::kRefused) || h.length != 0)
    return std::nullopt;
  return h;
}

bool SendAnswer(int fd, std::uint32_t kind, std::uint32_t message, std::uint64_t value) {
  wire::Header reply;
  reply.kind = kind;
  reply.message = message;
  reply.value = value;
  auto bytes = wire::Encode(reply);
  ssize_t r;
  do {
    r = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (r < 0 && errno == EINTR);
  return r == static_cast<ssize_t>(bytes.size());
}

bool ReceiveFrom(const Window& w, Connection& c, bool& complete) {
  complete = false;
  // One pass takes a bounded amount, so a fast sender cannot starve the other connections.
  std::size_t budget = 4 * 1024 * 1024;
  for (;;) {
    std::span<unsigned char> space = c.reader.Space();
    ssize_t r = ::recv(c.socket->fd(), space.data(), std::min(space.size(), budget), 0);
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    if (r == 0) {
      if (c.reader.Started()) DebugLine("Okno " + std::to_string(w.handle) + ": odrzucam niepełną ramkę");
      return false;  // the sender closed its end
    }
    const auto now = Clock::now();
    if (!c.reader.Started()) c.frameStart = now;
    c.lastActivity = now;
    switch (c.reader.Commit(static_cast<std::size_t>(r))) {
      case wire::FrameReader::State::Complete:
        complete = true;
        return true;
      case wire::FrameReader::State::BadHeader:
        DebugLine("Okno " + std::to_string(w.handle) + ": odrzucam uszkodzoną ramkę (nagłówek, długość " +
                  std::to_string(c.reader.header().length) + ")");
        return false;
      case wire::FrameReader::State::TooLarge:
        DebugLine("Okno " + std::to_string(w.handle) + ": odrzucam zbyt dużą ramkę (długość " +
                  std::to_string(c.reader.header().length) + ")");
        (void)SendAnswer(c.socket->fd(), wire::kRefused, c.reader.header().message, 0);
        return false;
      case wire::FrameReader::State::NeedMore:
        break;
    }
    budget -= std::min(budget, static_cast<std::size_t>(r));
    if (budget == 0) return true;
  }
}

}  // namespace detail
}  // namespace vx::platform
