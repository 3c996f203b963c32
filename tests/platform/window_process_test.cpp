// Message windows between real processes: descriptors stay flat over many jobs, a killed
// process's window reads as gone, and floods or stalled frames from local processes neither
// spin, bloat nor wedge the worker and its host.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/window_support.h"
#include "support/child.h"
#include "support/debug_log.h"

namespace vx::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int FdCount() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n - 1;  // the iterator's own descriptor
}

class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t soft) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

std::deque<WindowHandle> g_announced;

std::intptr_t JobHostProc(WindowHandle h, std::uint32_t msg, std::uintptr_t w, std::intptr_t l) {
  if (msg == kMsgUser + 1) g_announced.push_back(static_cast<WindowHandle>(w));
  return DefaultWindowProcedure(h, msg, w, l);
}

std::intptr_t SendText(WindowHandle to, const std::u16string& text) {
  CopyDataBlock cds{0, static_cast<std::uint32_t>((text.size() + 1) * 2), text.c_str()};
  return TrySendWindowMessage(to, kMsgCopyData, 0, reinterpret_cast<std::intptr_t>(&cds)).value_or(-1);
}

WindowHandle StartServingPeer(test::Child& peer) {
  auto line = peer.ReadLine(20s);
  return line ? std::stoll(*line) : 0;
}

TEST(WindowProcesses, TwoThousandJobsUnderALowDescriptorLimitLeaveNoConnectionBehind) {
  RuntimeDir runtime;
  RegisterWindowClass(u"JobHost", &JobHostProc);
  WindowHandle host = CreateMessageWindow(u"JobHost");
  ASSERT_NE(host, 0);
  {
    DescriptorLimit limit(128);
    test::Child peer(test::BinPath("vx_window_peer"), {"jobs", std::to_string(host), "2000"});
    const int before = FdCount();
    int done = 0;
    const auto giveUp = Clock::now() + 240s;
    while (done < 2000 && Clock::now() < giveUp) {
      if (g_announced.empty()) {
        WaitMessageTimeout(50);
        continue;
      }
      const WindowHandle job = g_announced.front();
      g_announced.pop_front();
      // Neither WindowExists nor ForgetWindow: the cache must not keep what is gone by itself.
      if (SendText(job, u"zadanie") != 5) break;
      ++done;
    }
    EXPECT_EQ(done, 2000);
    EXPECT_EQ(peer.WaitExit(20s), 0);
    for (int i = 0; i < 20; ++i) WaitMessageTimeout(5);  // the peer's hang-up is seen here
    EXPECT_LE(FdCount(), before + 1);
  }
  DestroyMessageWindow(host);
}

TEST(WindowProcesses, ConnectionsCloseWhenForgottenAndWhenTheProcessIsKilled) {
  RuntimeDir runtime;
  test::Child peer(test::BinPath("vx_window_peer"), {"serve"});
  const WindowHandle w = StartServingPeer(peer);
  ASSERT_NE(w, 0);
  WaitMessageTimeout(0);  // the thread's queue exists before counting
  const int before = FdCount();
  EXPECT_EQ(SendText(w, u"raz"), 5);
  EXPECT_EQ(FdCount(), before + 1);  // kept for the next send
  ForgetWindow(w);
  EXPECT_EQ(FdCount(), before);
  EXPECT_TRUE(WindowExists(w));
  EXPECT_EQ(SendText(w, u"dwa"), 5);
  peer.Kill(SIGKILL);
  peer.WaitExit(10s);
  EXPECT_TRUE(std::filesystem::exists(wire::SocketPath(w)));  // nobody removed it
  EXPECT_FALSE(WindowExists(w));
  EXPECT_FALSE(std::filesystem::exists(wire::SocketPath(w)));
  EXPECT_EQ(FdCount(), before);
  EXPECT_EQ(SendText(w, u"trzy"), -1);
}

TEST(WindowProcesses, TheNextProcessRemovesTheFilesOfKilledOnes) {
  RuntimeDir runtime;
  test::Child killed(test::BinPath("vx_window_peer"), {"serve"});
  const WindowHandle gone = StartServingPeer(killed);
  test::Child alive(test::BinPath("vx_window_peer"), {"serve"});
  const WindowHandle live = StartServingPeer(alive);
  ASSERT_NE(gone, 0);
  ASSERT_NE(live, 0);
  killed.Kill(SIGKILL);
  killed.WaitExit(10s);
  ASSERT_TRUE(std::filesystem::exists(wire::SocketPath(gone)));
  test::Child next(test::BinPath("vx_window_peer"), {"serve"});
  ASSERT_NE(StartServingPeer(next), 0);
  EXPECT_FALSE(std::filesystem::exists(wire::SocketPath(gone)));
  EXPECT_TRUE(WindowExists(live));
}

TEST(WindowProcesses, RunningOutOfDescriptorsDoesNotReadAsThePeersDeath) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer runtime needs descriptors of its own and stalls when they are all taken.
  GTEST_SKIP() << "needs descriptors of its own under the sanitizers";
#endif
  RuntimeDir runtime;
  test::Child peer(test::BinPath("vx_window_peer"), {"serve"});
  const WindowHandle w = StartServingPeer(peer);
  ASSERT_NE(w, 0);
  auto exhaust = [](std::vector<int>& held) {
    for (int fd; (fd = dup(0)) >= 0;) held.push_back(fd);
  };
  auto release = [](std::vector<int>& held) {
    for (int fd : held) close(fd);
    held.clear();
  };
  std::vector<int> held;
  {
    DescriptorLimit limit(64);
    exhaust(held);
    EXPECT_TRUE(WindowExists(w));  // nothing kept: only the socket file can tell
    release(held);
    EXPECT_EQ(SendText(w, u"raz"), 5);
    exhaust(held);
    EXPECT_TRUE(WindowExists(w));  // the kept connection tells
    peer.Kill(SIGKILL);
    peer.WaitExit(10s);
    EXPECT_FALSE(WindowExists(w));  // and its hang-up tells the death
    release(held);
  }
}

// The worker and a host that started it, with their windows found through the peers' ids.
class WorkerAndHost : public ::testing::Test {
 protected:
  void SetUp() override {
    host.emplace(test::BinPath("vx_test_peer"), std::vector<std::string>{"host"});
    auto line = host->ReadLine(30s);
    ASSERT_TRUE(line && line->rfind("WORKER ", 0) == 0) << line.value_or("(nothing)");
    worker = std::stoi(line->substr(7));
    hostWindow = WindowOf(host->pid());
    workerWindow = WindowOf(worker);
    ASSERT_FALSE(hostWindow.empty());
    ASSERT_FALSE(workerWindow.empty());
  }

  std::string WindowOf(pid_t pid) const {
    for (const auto& e : std::filesystem::directory_iterator(runtime.windows())) {
      int fd = ConnectPath(e.path().string());
      if (fd < 0) continue;
      ucred cred{};
      socklen_t len = sizeof cred;
      getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len);
      close(fd);
      if (cred.pid == pid) return e.path().string();
    }
    return {};
  }

  static bool Answers(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_un addr = AddressOf(path);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    wire::Header ping;  // kMsgNull
    ok = ok && Exchange(fd, ping, "").kind == wire::kReply;
    close(fd);
    return ok;
  }

  static long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i == 14) utime = std::stol(field);
      if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
  }

  static long PeakRssKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
      if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
  }

  static bool Ended(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (text.empty()) return true;
    const char state = text[text.rfind(')') + 2];
    return state == 'Z' || state == 'X';
  }

  // Kills the host; how long the worker then took to end.
  std::chrono::milliseconds WorkerEndAfterHostDeath() {
    host->Kill(SIGKILL);
    host->WaitExit(10s);
    const auto died = Clock::now();
    while (!Ended(worker) && Clock::now() - died < 10s) std::this_thread::sleep_for(1ms);
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - died);
  }

  void TearDown() override {
    if (worker > 0 && !Ended(worker)) kill(worker, SIGKILL);
  }

  RuntimeDir runtime;
  test::DebugLogCapture log;  // keeps the children's lines out of syslog
  std::optional<test::Child> host;
  pid_t worker = 0;
  std::string hostWindow, workerWindow;
};

TEST_F(WorkerAndHost, AFloodOfIdleConnectionsAtTheDescriptorLimitNeitherSpinsNorWedges) {
  // Both sides near their descriptor limit, so accepting the flood runs out of descriptors.
  for (pid_t pid : {host->pid(), worker}) {
    rlimit low{48, 48};
    ASSERT_EQ(prlimit(pid, RLIMIT_NOFILE, &low, nullptr), 0);
  }
  std::vector<int> flood;
  for (const std::string& path : {workerWindow, hostWindow}) {
    for (int i = 0; i < 1100; ++i) {
      int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
      sockaddr_un addr = AddressOf(path);
      if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        flood.push_back(fd);
      } else {
        close(fd);  // the queue of waiting connections is full
      }
    }
  }
  EXPECT_GT(flood.size(), 100u);
  EXPECT_TRUE(Answers(workerWindow));
  EXPECT_TRUE(Answers(hostWindow));
  const long during = CpuTicks(worker) + CpuTicks(host->pid());
  std::this_thread::sleep_for(1s);
  const long duringUsed = CpuTicks(worker) + CpuTicks(host->pid()) - during;
  for (int fd : flood) close(fd);
  std::this_thread::sleep_for(300ms);
  const long after = CpuTicks(worker) + CpuTicks(host->pid());
  std::this_thread::sleep_for(1s);
  const long afterUsed = CpuTicks(worker) + CpuTicks(host->pid()) - after;
  const long ticks = sysconf(_SC_CLK_TCK);
  EXPECT_LT(duringUsed, ticks / 2) << "CPU while the flood is held";
  EXPECT_LT(afterUsed, ticks / 4) << "CPU once the flood has stopped";
  EXPECT_TRUE(Answers(workerWindow));
  EXPECT_LE(WorkerEndAfterHostDeath().count(), 100);
}

TEST_F(WorkerAndHost, StalledFramesNeitherBloatNorHoldTheWorker) {
  int claim = ConnectPath(workerWindow);
  auto bigHead = wire::Encode(CopyDataHeader(wire::kMaxPayload));
  send(claim, bigHead.data(), bigHead.size(), MSG_NOSIGNAL);
  send(claim, "ab", 2, MSG_NOSIGNAL);
  int half = ConnectPath(workerWindow);
  auto head = wire::Encode(CopyDataHeader(2));
  send(half, head.data(), head.size() / 2, MSG_NOSIGNAL);
  int trickle = ConnectPath(workerWindow);
  for (int i = 0; i < 6; ++i) {
    send(trickle, head.data() + i, 1, MSG_NOSIGNAL);
    std::this_thread::sleep_for(200ms);
  }
  EXPECT_TRUE(Answers(workerWindow));
#ifdef __SANITIZE_ADDRESS__
  constexpr long kShadowKiB = 32 * 1024;  // the sanitizer's own memory, not the frames'
#else
  constexpr long kShadowKiB = 0;
#endif
  EXPECT_LT(PeakRssKiB(worker), 32 * 1024 + kShadowKiB);
  EXPECT_LE(WorkerEndAfterHostDeath().count(), 100);
  close(claim);
  close(half);
  close(trickle);
}

}  // namespace
}  // namespace vx::platform
