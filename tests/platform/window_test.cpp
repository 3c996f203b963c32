// Message windows at the socket level: frames from other processes are checked and bounded,
// the window directory is private to the user, foreign users are refused, and a window keeps
// serving after bad or stalled input.
#include <dirent.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/window_socket.h"
#include "platform/window.h"
#include "platform/window_support.h"
#include "support/debug_log.h"
#include "support/other_user.h"
#include "support/temp_dir.h"

namespace vx::platform {
namespace {

std::vector<std::u16string> g_received;

std::intptr_t RecordingProc(WindowHandle h, std::uint32_t msg, std::uintptr_t w, std::intptr_t l) {
  if (msg == kMsgCopyData) {
    const auto* cds = reinterpret_cast<const CopyDataBlock*>(l);
    std::u16string text(cds->cbData / 2, u'\0');
    std::memcpy(text.data(), cds->lpData, text.size() * 2);
    g_received.push_back(text);
    return 77;
  }
  return DefaultWindowProcedure(h, msg, w, l);
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
    RegisterWindowClass(u"TestRecorder", &RecordingProc);
    window = CreateMessageWindow(u"TestRecorder");
    ASSERT_NE(window, 0);
    g_received.clear();
  }
  void TearDown() override { DestroyMessageWindow(window); }
  RuntimeDir runtime;
  WindowHandle window = 0;
};

TEST_F(WindowTest, HandlesAreLiveExactlyWhileTheWindowExists) {
  EXPECT_TRUE(WindowExists(window));
  EXPECT_GT(window, 0);
  EXPECT_LE(window, 0x7FFFFFFF);
  EXPECT_FALSE(WindowExists(0));
  EXPECT_FALSE(WindowExists(-5));
  EXPECT_FALSE(WindowExists(std::int64_t{1} << 33));
  WindowHandle other = CreateMessageWindow(u"TestRecorder");
  EXPECT_NE(other, window);
  EXPECT_TRUE(std::filesystem::exists(wire::SocketPath(other)));
  EXPECT_TRUE(DestroyMessageWindow(other));
  EXPECT_FALSE(WindowExists(other));
  EXPECT_FALSE(std::filesystem::exists(wire::SocketPath(other)));
  EXPECT_FALSE(DestroyMessageWindow(other));
  EXPECT_EQ(CreateMessageWindow(u"NoSuchClass"), 0);
}

TEST_F(WindowTest, WindowsLiveInAPrivateDirectoryOfTheUser) {
  struct stat st {};
  ASSERT_EQ(lstat(runtime.windows().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_EQ(st.st_uid, geteuid());
  EXPECT_EQ(wire::SocketPath(window), (runtime.windows() / std::to_string(window)).string());
}

TEST(WindowDirectory, AnUnsafeDirectoryIsRefusedWithAClearMessage) {
  RegisterWindowClass(u"TestRecorder", &RecordingProc);
  test::DebugLogCapture log;
  {
    RuntimeDir runtime;
    std::filesystem::create_directory(runtime.windows());
    chmod(runtime.windows().c_str(), 0755);
    EXPECT_EQ(CreateMessageWindow(u"TestRecorder"), 0);
    EXPECT_TRUE(log.Contains("ma uprawnienia 0755 zamiast 0700 - odmawiam pracy"));
  }
  {
    RuntimeDir runtime;
    test::TempDir elsewhere;
    chmod(elsewhere.path().c_str(), 0700);
    std::filesystem::create_directory_symlink(elsewhere.path(), runtime.windows());
    EXPECT_EQ(CreateMessageWindow(u"TestRecorder"), 0);
    EXPECT_TRUE(log.Contains("jest dowiązaniem - odmawiam pracy"));
  }
  if (auto other = test::SecondUser()) {
    RuntimeDir runtime;
    std::filesystem::create_directory(runtime.windows());
    chmod(runtime.windows().c_str(), 0700);
    ASSERT_EQ(chown(runtime.windows().c_str(), other->pw_uid, other->pw_gid), 0);
    EXPECT_EQ(CreateMessageWindow(u"TestRecorder"), 0);
    EXPECT_TRUE(log.Contains("należy do innego użytkownika (uid " + std::to_string(other->pw_uid) +
                             ") - odmawiam pracy"));
  }
}

TEST_F(WindowTest, AnotherUserCanNeitherReachNorSquatAWindow) {
  auto other = test::SecondUser();
  if (!other) GTEST_SKIP() << "needs root to act as another user";
  const std::string live = wire::SocketPath(window);
  const std::string squat = wire::SocketPath(window == 1 ? 2 : window - 1);
  const std::string dir = runtime.windows().string();
  int code = test::AsOtherUser(other->pw_uid, other->pw_gid, [&] {
    if (ConnectPath(live) >= 0) return 1;
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = AddressOf(squat);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return 2;
    if (opendir(dir.c_str()) != nullptr) return 3;
    return 0;
  });
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(std::filesystem::exists(squat));
}

TEST_F(WindowTest, PeersOfAnotherUserAreRefusedWithFewLogLines) {
  auto other = test::SecondUser();
  if (!other) GTEST_SKIP() << "needs root to act as another user";
  // Open the way on purpose, to reach the check of the peer's credentials behind it.
  chmod(runtime.windows().c_str(), 0711);
  chmod(wire::SocketPath(window).c_str(), 0777);
  test::DebugLogCapture log;
  const std::string path = wire::SocketPath(window);
  int code = -1;
  PumpWhile([&] {
    code = test::AsOtherUser(other->pw_uid, other->pw_gid, [&] {
      for (int i = 0; i < 500; ++i) {
        int fd = ConnectPath(path);
        if (fd < 0) return 4;
        wire::Header h = CopyDataHeader(Utf16Bytes(u"intruder").size());
        if (SendRaw(fd, h, Utf16Bytes(u"intruder")) != -1) return 5;
        close(fd);
      }
      return 0;
    });
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(g_received.empty());
  int lines = 0;
  for (const std::string& line : log.Lines())
    if (line.find("innego użytkownika") != std::string::npos) ++lines;
  EXPECT_GE(lines, 1);
  EXPECT_LE(lines, 3);
}

TEST_F(WindowTest, BadFramesAreDroppedAndTheWindowKeepsServing) {
  test::DebugLogCapture log;
  long long badMagic = 0, good = 0, goodAfter = 0;
  wire::Header tooLong;
  PumpWhile([&] {
    int fd = ConnectTo(window);
    wire::Header h;
    h.magic = 0x12345678;
    badMagic = SendRaw(fd, h, "");
    close(fd);

    fd = ConnectTo(window);
    tooLong = Exchange(fd, CopyDataHeader(wire::kMaxPayload + 1), "");
    close(fd);

    fd = ConnectTo(window);
    std::string bytes = Utf16Bytes(u"zażółć");
    good = SendRaw(fd, CopyDataHeader(bytes.size()), bytes);
    goodAfter = SendRaw(fd, CopyDataHeader(bytes.size()), bytes);  // the same connection serves again
    close(fd);
  });
  EXPECT_EQ(badMagic, -1);
  EXPECT_EQ(tooLong.magic, wire::kMagic);  // the sender of an over-size frame is told
  EXPECT_EQ(tooLong.kind, wire::kRefused);
  EXPECT_EQ(good, 77);
  EXPECT_EQ(goodAfter, 77);
  ASSERT_EQ(g_received.size(), 2u);
  EXPECT_EQ(g_received[0], std::u16string(u"zażółć\0", 7));
  EXPECT_TRUE(log.Contains("odrzucam uszkodzoną ramkę"));
  EXPECT_TRUE(log.Contains("odrzucam zbyt dużą ramkę"));
}

// Answers kMsgUser + 5 with wParam + 1, but only once the test lets it: until then the window
// is busy in its procedure. A guard ends the hold should the test never let go.
std::atomic<bool> g_slowReleased{true};
std::atomic<int> g_slowAnswered{0};

std::intptr_t SlowProc(WindowHandle h, std::uint32_t msg, std::uintptr_t w, std::intptr_t l) {
  if (msg == kMsgUser + 5) {
    const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!g_slowReleased && std::chrono::steady_clock::now() < guard)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++g_slowAnswered;
    return static_cast<std::intptr_t>(w) + 1;
  }
  return DefaultWindowProcedure(h, msg, w, l);
}

// A window of another thread, which is reached through its socket like another process's; the
// thread pumps its messages until this object goes.
class WindowOfAnotherThread {
 public:
  WindowOfAnotherThread(std::u16string_view cls, WindowProcedure proc)
      : owner_([this, cls, proc] {
          RegisterWindowClass(cls, proc);
          const WindowHandle h = CreateMessageWindow(cls);
          handle_ = h;
          while (!stop_) WaitMessageTimeout(5);
          DestroyMessageWindow(h);
        }) {
    while (handle_ == 0) std::this_thread::yield();
  }
  ~WindowOfAnotherThread() {
    stop_ = true;
    owner_.join();
  }
  WindowOfAnotherThread(const WindowOfAnotherThread&) = delete;
  WindowOfAnotherThread& operator=(const WindowOfAnotherThread&) = delete;
  [[nodiscard]] WindowHandle handle() const { return handle_; }

 private:
  std::atomic<WindowHandle> handle_{0};
  std::atomic<bool> stop_{false};
  std::thread owner_;
};

TEST_F(WindowTest, ABoundedSendGivesUpOnASlowWindowAndItsLateAnswerReachesNobody) {
  const WindowOfAnotherThread slow(u"TestSlow", &SlowProc);
  const WindowHandle peer = slow.handle();
  g_slowAnswered = 0;
  g_slowReleased = false;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(TrySendWindowMessage(peer, kMsgUser + 5, 800, 0, 100), std::nullopt);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  // Given up while the window was still busy with it, not after its answer.
  EXPECT_EQ(g_slowAnswered, 0);
  g_slowReleased = true;
  // The next send, unbounded, gets its own answer, not the late one (801) of the first.
  EXPECT_EQ(TrySendWindowMessage(peer, kMsgUser + 5, 10, 0), 11);
  EXPECT_EQ(g_slowAnswered, 2);
  // A send that is answered in time is not affected by its bound.
  EXPECT_EQ(TrySendWindowMessage(peer, kMsgUser + 5, 0, 0, 5000), 1);
}

TEST_F(WindowTest, AnOverSizeSendFailsAtTheSender) {
  const WindowOfAnotherThread recorder(u"TestRecorder", &RecordingProc);
  const WindowHandle peer = recorder.handle();
  char byte = 0;
  CopyDataBlock big{0, static_cast<std::uint32_t>(wire::kMaxPayload + 1), &byte};  // never read
  EXPECT_FALSE(
      TrySendWindowMessage(peer, kMsgCopyData, 0, reinterpret_cast<std::intptr_t>(&big)).has_value());
  std::u16string text = u"mała";
  CopyDataBlock small{0, static_cast<std::uint32_t>((text.size() + 1) * 2), text.c_str()};
  EXPECT_EQ(TrySendWindowMessage(peer, kMsgCopyData, 0, reinterpret_cast<std::intptr_t>(&small)), 77);
}

TEST_F(WindowTest, AFrameCutShortIsDropped) {
  test::DebugLogCapture log;
  long long result = 0;
  PumpWhile([&] {
    int fd = ConnectTo(window);
    auto head = wire::Encode(CopyDataHeader(100));
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

TEST_F(WindowTest, StalledSendersDoNotHoldUpOthers) {
  // Half headers, a large claim with two bytes, and a byte at a time: each connection waits for
  // the rest of its frame while complete frames on other connections are answered.
  long long answers = 0;
  PumpWhile([&] {
    // More half headers than a window keeps connections: stalled ones make way for new ones.
    std::vector<int> halves;
    auto head = wire::Encode(CopyDataHeader(8));
    for (int i = 0; i < 80; ++i) {
      halves.push_back(ConnectTo(window));
      send(halves.back(), head.data(), 20, MSG_NOSIGNAL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // all taken in and read
    int claim = ConnectTo(window);
    auto bigHead = wire::Encode(CopyDataHeader(wire::kMaxPayload));
    send(claim, bigHead.data(), bigHead.size(), MSG_NOSIGNAL);
    send(claim, "ab", 2, MSG_NOSIGNAL);
    int trickle = ConnectTo(window);
    for (int i = 0; i < 30; ++i) {
      send(trickle, head.data() + i, 1, MSG_NOSIGNAL);
      int fd = ConnectTo(window);
      std::string bytes = Utf16Bytes(u"x");
      answers += SendRaw(fd, CopyDataHeader(bytes.size()), bytes) == 77;
      close(fd);
    }
    for (int fd : halves) close(fd);
    close(claim);
    close(trickle);
  });
  EXPECT_EQ(answers, 30);
}

TEST_F(WindowTest, AFrameTricklingInIsClosedAtItsDeadline) {
  // A byte every two seconds: each byte would restart a per-read time-out, but the frame as a
  // whole has one deadline (ten seconds for a small frame).
  test::DebugLogCapture log;
  bool closed = false;
  std::chrono::steady_clock::duration took{};
  PumpWhile([&] {
    int fd = ConnectTo(window);
    auto head = wire::Encode(CopyDataHeader(8));
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < head.size() && !closed; ++i) {
      if (send(fd, head.data() + i, 1, MSG_NOSIGNAL) != 1) closed = true;
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 2000) > 0) closed = true;  // only the window closing makes it readable
    }
    took = std::chrono::steady_clock::now() - start;
    close(fd);
  });
  EXPECT_TRUE(closed);
  EXPECT_LT(took, std::chrono::seconds(30));
  EXPECT_TRUE(log.Contains("nie nadeszła w czasie"));
  EXPECT_TRUE(g_received.empty());
}

TEST(FrameReader, GrowsWithTheDataNotWithTheClaim) {
  wire::FrameReader reader;
  auto head = wire::Encode(CopyDataHeader(wire::kMaxPayload));
  wire::FrameReader::State state;
  EXPECT_EQ(reader.Feed(head, state), head.size());
  EXPECT_EQ(state, wire::FrameReader::State::NeedMore);
  EXPECT_LE(reader.Space().size(), 64u * 1024);  // room for the first bytes only
  const std::string text = "0123456789";
  auto frame = wire::Encode(CopyDataHeader(text.size()));
  wire::FrameReader second;
  std::vector<unsigned char> bytes(frame.begin(), frame.end());
  bytes.insert(bytes.end(), text.begin(), text.end());
  bytes.insert(bytes.end(), frame.begin(), frame.end());  // the next frame follows
  // Fed a byte at a time, then the rest: one frame, the following bytes left over.
  std::size_t used = 0;
  for (; used < 7; ++used) ASSERT_EQ(second.Feed({bytes.data() + used, 1}, state), 1u);
  used += second.Feed({bytes.data() + used, bytes.size() - used}, state);
  ASSERT_EQ(state, wire::FrameReader::State::Complete);
  EXPECT_EQ(used, frame.size() + text.size());
  std::vector<unsigned char> payload = second.Take();
  EXPECT_EQ(std::string(payload.begin(), payload.end()), text);
  EXPECT_FALSE(second.Started());
  wire::Header wrongKind = CopyDataHeader(0);
  wrongKind.kind = wire::kReply;
  auto bad = wire::Encode(wrongKind);
  wire::FrameReader third;
  third.Feed(bad, state);
  EXPECT_EQ(state, wire::FrameReader::State::BadHeader);
}

TEST(FrameLayout, IsTheSameWhateverThePointerSize) {
  wire::Header h;
  h.message = kMsgCopyData;
  h.wParam = 0x0102030405060708ULL;
  h.value = 0xFFFFFFFFFFFFFFFFULL;
  h.length = 0x1122334455ULL;
  auto bytes = wire::Encode(h);
  static_assert(wire::kHeaderSize == 40);
  EXPECT_EQ(bytes[0], 0x56);  // little-endian magic "VX64"
  EXPECT_EQ(bytes[8], 0x4A);
  EXPECT_EQ(bytes[16], 0x08);
  EXPECT_EQ(bytes[23], 0x01);
  EXPECT_EQ(bytes[32], 0x55);
  EXPECT_EQ(bytes[36], 0x11);
  wire::Header back = wire::Decode(bytes.data());
  EXPECT_EQ(back.wParam, h.wParam);
  EXPECT_EQ(back.value, h.value);
  EXPECT_EQ(back.length, h.length);
}

TEST_F(WindowTest, PostedMessagesAndQuit) {
  EXPECT_TRUE(PostWindowMessage(window, kMsgUser + 1, 2, 3));
  EXPECT_FALSE(PostWindowMessage(0, kMsgUser, 0, 0));
  WindowMessage msg;
  ASSERT_TRUE(PeekNextMessage(msg));
  EXPECT_EQ(msg.message, kMsgUser + 1);
  EXPECT_EQ(msg.wParam, 2u);
  EXPECT_FALSE(PeekNextMessage(msg));
  std::thread other([this] { PostWindowMessage(window, kMsgUser + 2, 0, 0); });
  other.join();
  ASSERT_TRUE(GetNextMessage(msg));
  EXPECT_EQ(msg.message, kMsgUser + 2);
  PostQuit(4);
  EXPECT_FALSE(GetNextMessage(msg));
  EXPECT_EQ(msg.wParam, 4u);
}

}  // namespace
}  // namespace vx::platform
