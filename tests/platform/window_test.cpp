// Message windows at the socket level: frames from other processes are checked, foreign users
// are refused, and a window keeps serving after bad input.
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/window_wire.h"
#include "platform/window.h"
#include "support/debug_log.h"

namespace vx::platform {
namespace {

std::vector<std::u16string> g_received;

std::intptr_t RecordingProc(HWND h, std::uint32_t msg, std::uintptr_t w, std::intptr_t l) {
  if (msg == WM_COPYDATA) {
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
    std::u16string text(cds->cbData / 2, u'\0');
    std::memcpy(text.data(), cds->lpData, text.size() * 2);
    g_received.push_back(text);
    return 77;
  }
  return DefWindowProc(h, msg, w, l);
}

int ConnectTo(HWND h) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string name = wire::SocketName(geteuid(), h);
  std::memcpy(addr.sun_path, name.data(), name.size());
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), offsetof(sockaddr_un, sun_path) + name.size()) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends a frame; returns the reply's value, or -1 when the window closed the connection.
long long SendRaw(int fd, const wire::Header& h, const std::string& payload) {
  auto head = wire::Encode(h);
  if (send(fd, head.data(), head.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(head.size())) return -1;
  if (!payload.empty() && send(fd, payload.data(), payload.size(), MSG_NOSIGNAL) < 0) return -1;
  unsigned char reply[wire::kHeaderSize];
  if (recv(fd, reply, sizeof reply, MSG_WAITALL) != static_cast<ssize_t>(sizeof reply)) return -1;
  return static_cast<long long>(wire::Decode(reply).value);
}

std::string Utf16Bytes(const std::u16string& s) {
  std::string out(reinterpret_cast<const char*>(s.c_str()), (s.size() + 1) * 2);
  return out;
}

// Pumps this thread's windows while `work` runs on another thread.
template <typename Work>
void PumpWhile(Work work) {
  std::atomic<bool> done{false};
  std::thread t([&] {
    work();
    done = true;
  });
  while (!done) WaitMessageTimeout(5);
  t.join();
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterClass(u"TestRecorder", &RecordingProc);
    window = CreateWindow(u"TestRecorder");
    ASSERT_NE(window, 0);
    g_received.clear();
  }
  void TearDown() override { DestroyWindow(window); }
  HWND window = 0;
};

TEST_F(WindowTest, HandlesAreLiveExactlyWhileTheWindowExists) {
  EXPECT_TRUE(IsWindow(window));
  EXPECT_GT(window, 0);
  EXPECT_LE(window, 0x7FFFFFFF);
  EXPECT_FALSE(IsWindow(0));
  EXPECT_FALSE(IsWindow(-5));
  EXPECT_FALSE(IsWindow(std::int64_t{1} << 33));
  HWND other = CreateWindow(u"TestRecorder");
  EXPECT_NE(other, window);
  EXPECT_TRUE(DestroyWindow(other));
  EXPECT_FALSE(IsWindow(other));
  EXPECT_FALSE(DestroyWindow(other));
  EXPECT_EQ(CreateWindow(u"NoSuchClass"), 0);
}

TEST_F(WindowTest, BadFramesAreDroppedAndTheWindowKeepsServing) {
  test::DebugLogCapture log;
  long long badMagic = 0, tooLong = 0, good = 0, goodAfter = 0;
  PumpWhile([&] {
    int fd = ConnectTo(window);
    wire::Header h;
    h.magic = 0x12345678;
    badMagic = SendRaw(fd, h, "");
    close(fd);

    fd = ConnectTo(window);
    wire::Header big;
    big.message = WM_COPYDATA;
    big.length = wire::kMaxPayload + 1;
    tooLong = SendRaw(fd, big, "");
    close(fd);

    fd = ConnectTo(window);
    wire::Header ok;
    ok.message = WM_COPYDATA;
    std::string bytes = Utf16Bytes(u"zażółć");
    ok.length = bytes.size();
    good = SendRaw(fd, ok, bytes);
    goodAfter = SendRaw(fd, ok, bytes);  // the same connection serves again
    close(fd);
  });
  EXPECT_EQ(badMagic, -1);
  EXPECT_EQ(tooLong, -1);
  EXPECT_EQ(good, 77);
  EXPECT_EQ(goodAfter, 77);
  ASSERT_EQ(g_received.size(), 2u);
  EXPECT_EQ(g_received[0], std::u16string(u"zażółć\0", 7));
  EXPECT_TRUE(log.Contains("odrzucam uszkodzoną ramkę"));
}

TEST_F(WindowTest, AFrameCutShortIsDropped) {
  test::DebugLogCapture log;
  long long result = 0;
  PumpWhile([&] {
    int fd = ConnectTo(window);
    wire::Header h;
    h.message = WM_COPYDATA;
    h.length = 100;
    auto head = wire::Encode(h);
    send(fd, head.data(), head.size(), MSG_NOSIGNAL);
    send(fd, "abc", 3, MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    unsigned char reply[wire::kHeaderSize];
    result = recv(fd, reply, sizeof reply, MSG_WAITALL);
    close(fd);
  });
  EXPECT_EQ(result, 0);  // closed without an answer
  EXPECT_TRUE(g_received.empty());
  EXPECT_TRUE(log.Contains("niepełną ramkę"));
}

TEST_F(WindowTest, PeersOfAnotherUserAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  test::DebugLogCapture log;
  const std::string name = wire::SocketName(geteuid(), window);
  std::atomic<bool> done{false};
  int status = -1;
  std::thread waiter([&] {
    pid_t child = fork();
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
      int fd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::memcpy(addr.sun_path, name.data(), name.size());
      if (connect(fd, reinterpret_cast<sockaddr*>(&addr), offsetof(sockaddr_un, sun_path) + name.size()) != 0)
        _exit(4);
      wire::Header h;
      h.message = WM_COPYDATA;
      std::string bytes = Utf16Bytes(u"intruder");
      h.length = bytes.size();
      _exit(SendRaw(fd, h, bytes) == -1 ? 0 : 5);
    }
    waitpid(child, &status, 0);
    done = true;
  });
  while (!done) WaitMessageTimeout(5);
  waiter.join();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(g_received.empty());
  EXPECT_TRUE(log.Contains("innego użytkownika"));
}

TEST_F(WindowTest, PostedMessagesAndQuit) {
  EXPECT_TRUE(PostMessage(window, WM_USER + 1, 2, 3));
  EXPECT_FALSE(PostMessage(0, WM_USER, 0, 0));
  MSG msg;
  ASSERT_TRUE(PeekMessage(msg));
  EXPECT_EQ(msg.message, WM_USER + 1);
  EXPECT_EQ(msg.wParam, 2u);
  EXPECT_FALSE(PeekMessage(msg));
  std::thread other([this] { PostMessage(window, WM_USER + 2, 0, 0); });
  other.join();
  ASSERT_TRUE(GetMessage(msg));
  EXPECT_EQ(msg.message, WM_USER + 2);
  PostQuitMessage(4);
  EXPECT_FALSE(GetMessage(msg));
  EXPECT_EQ(msg.wParam, 4u);
}

}  // namespace
}  // namespace vx::platform
