// The per-thread message queue: posted messages, the quit message and the calls that take them.
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/posix/window_internal.h"

namespace vx::platform {

namespace detail {

ThreadQueue::ThreadQueue() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ThreadQueue::~ThreadQueue() {
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void ThreadQueue::Push(const WindowMessage& m) {
  {
    std::lock_guard g(lock_);
    posted_.push_back(m);
  }
  std::uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
}

bool ThreadQueue::Pop(WindowMessage& m) {
  // Drain the wake-up first: a message posted after this point wakes the next wait again.
  std::uint64_t drain;
  (void)!::read(wakeFd_, &drain, sizeof drain);
  std::lock_guard g(lock_);
  if (posted_.empty()) return false;
  if (posted_.size() > 1) {
    std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
  }
  m = posted_.front();
  posted_.pop_front();
  return true;
}

bool ThreadQueue::HasPosted() {
  std::lock_guard g(lock_);
  return !posted_.empty();
}

}  // namespace detail

using namespace detail;

bool PostWindowMessage(WindowHandle hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  WindowPtr w = FindLocalWindow(hwnd);
  if (w == nullptr) return false;
  w->queue->Push(WindowMessage{hwnd, msg, wParam, lParam});
  return true;
}

void PostQuit(int exitCode) {
  Thread().queue->Push(WindowMessage{0, kMsgQuit, static_cast<std::uintptr_t>(exitCode), 0});
}

bool GetNextMessage(WindowMessage& msg) {
  ThreadState& t = Thread();
  while (!t.queue->Pop(msg)) WaitOnce(-1, true, -1, 0);
  return msg.message != kMsgQuit;
}

bool PeekNextMessage(WindowMessage& msg) {
  // A bounded number of passes: what keeps arriving (a flood of connections) cannot hold the
  // caller here; the rest is served on the next call.
  constexpr int kPasses = 16;
  for (int i = 0; i < kPasses && WaitOnce(0, false, -1, 0) == WaitResult::Served; ++i) {
  }
  return Thread().queue->Pop(msg);
}

void TranslateWindowMessage(const WindowMessage&) {}

std::intptr_t DispatchWindowMessage(const WindowMessage& msg) {
  WindowPtr w = FindLocalWindow(msg.hwnd);
  if (w == nullptr) return 0;
  return w->proc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

bool WaitMessageTimeout(int timeoutMs) {
  if (Thread().queue->HasPosted()) return true;
  return WaitOnce(timeoutMs, true, -1, 0) != WaitResult::Nothing;
}

void SleepMilliseconds(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace vx::platform
