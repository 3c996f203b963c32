// Every download is bounded in size and in time, takes little more memory than its bound, and
// a validation fetches each namespace page once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "validation/http_download.h"
#include "validation/link_discovery.h"
#include "validation/net_fixture.h"
#include "validation/resolution.h"
#include "validation/validation_fixture.h"

namespace vx {
namespace {

// A server on 127.0.0.1 that answers every request with 200 and then sends a body for ever (up
// to `total` bytes): in blocks as fast as it can, or one byte every `pause`.
class StreamServer {
 public:
  StreamServer(std::uint64_t total, std::chrono::milliseconds pause) : FTotal(total), FPause(pause) {
    FSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(FSocket, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(FSocket, 4) != 0 ||
        ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      throw std::runtime_error("stream server");
    FPort = ntohs(addr.sin_port);
    FThread = std::thread([this] { Serve(); });
  }
  ~StreamServer() {
    FStop = true;
    ::shutdown(FSocket, SHUT_RDWR);
    FThread.join();
    ::close(FSocket);
  }
  [[nodiscard]] std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
  }

 private:
  void Serve() {
    while (!FStop) {
      const int c = ::accept4(FSocket, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) return;
      char request[4096];
      (void)::recv(c, request, sizeof request, 0);
      const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";
      bool open = ::send(c, head.data(), head.size(), MSG_NOSIGNAL) > 0;
      const std::string block(FPause.count() > 0 ? 1 : 1 << 20, 'x');
      for (std::uint64_t sent = 0; open && !FStop && sent < FTotal; sent += block.size()) {
        open = ::send(c, block.data(), block.size(), MSG_NOSIGNAL) > 0;
        if (FPause.count() > 0) std::this_thread::sleep_for(FPause);
      }
      ::close(c);
    }
  }
  std::uint64_t FTotal;
  std::chrono::milliseconds FPause;
  int FSocket = -1;
  int FPort = 0;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

// The process's peak resident size (kB) since the last reset.
long PeakKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}
long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

using Clock = std::chrono::steady_clock;

class DownloadBoundsTest : public test::NetTest {};

TEST_F(DownloadBoundsTest, AnEndlessStreamStopsAtTheSizeBoundInLittleMoreMemory) {
  StreamServer server(2ull << 30, std::chrono::milliseconds(0));  // 2 GB
  test::ScopedEnv bound(kDownloadMaxBytesVariable, "33554432");   // 32 MiB
  // Each download on its own: the peak above what was resident before stays near twice the bound.
  const auto peakOf = [](const std::function<void()>& download) {
    ResetPeak();
    const long before = ResidentKb();
    download();
    return PeakKb() - before;
  };
  const long limitKb = 2 * 32 * 1024 + 8 * 1024;
  EXPECT_LT(peakOf([&] { EXPECT_THROW((void)FetchDocument(server.Url("/big.xsd"), true), EHttpError); }),
            limitKb);
  EXPECT_LT(peakOf([&] { EXPECT_EQ(wGetFileText(Utf8ToU(server.Url("/big"))), u""); }), limitKb);
  EXPECT_LT(peakOf([&] {
              std::vector<UString> links;
              EXPECT_FALSE(GetLinks(Utf8ToU(server.Url("/page/")), links));
            }),
            limitKb);
}

TEST_F(DownloadBoundsTest, ATrickleStopsAtTheTimeBound) {
  StreamServer server(1ull << 30, std::chrono::milliseconds(500));  // a byte every 0.5 s
  test::ScopedEnv total(kDownloadTimeoutVariable, "1500");
  const auto start = Clock::now();
  EXPECT_THROW((void)FetchDocument(server.Url("/slow.xsd"), true), EHttpError);
  EXPECT_EQ(wGetFileText(Utf8ToU(server.Url("/slow"))), u"");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));  // two bounded downloads, not for ever
}

TEST(DownloadLimits, DefaultsAndOverrides) {
  {
    test::ScopedEnv a(kDownloadMaxBytesVariable, nullptr);
    test::ScopedEnv b(kDownloadTimeoutVariable, nullptr);
    EXPECT_EQ(DownloadLimits().maxBytes, 64u << 20);
    EXPECT_EQ(DownloadLimits().total, std::chrono::seconds(60));
  }
  for (const char* bad : {"0", "-5", "12x", ""}) {
    test::ScopedEnv a(kDownloadMaxBytesVariable, bad);
    EXPECT_EQ(DownloadLimits().maxBytes, 64u << 20) << bad;
  }
  test::ScopedEnv a(kDownloadMaxBytesVariable, "1000");
  test::ScopedEnv b(kDownloadTimeoutVariable, "2500");
  EXPECT_EQ(DownloadLimits().maxBytes, 1000u);
  EXPECT_EQ(DownloadLimits().total, std::chrono::milliseconds(2500));
}

class PageOnceTest : public test::ValidationTest {};

TEST_F(PageOnceTest, ANamespacePageIsFetchedOncePerRun) {
  // Neither ending in "/" nor holding ".xsd": probed as a schema, then read as a page.
  const std::string ns = server.Url("/ns/page");
  std::string page = "<html><body>";
  for (int i = 0; i < 20000; ++i) page += "<p>filler " + std::to_string(i) + "</p>";
  page += "<a href=\"" + server.Url("/ns/one.xsd") + "\">1</a></body></html>";
  Publish("ns/page", page);
  Publish("ns/one.xsd", Schema(ns, "<xsd:element name=\"a\"/>"));
  TValidationRun run;
  wAdd(run, u"", Utf8ToU(ns));
  wAdd(run, u"", Utf8ToU(ns));  // a second namespace leading to the same page
  EXPECT_EQ(server.RequestCount("/ns/page"), 1);
  ASSERT_EQ(run.registered.size(), 1u);

  // A page over the bound gives no links (and no error).
  test::ScopedEnv bound(kDownloadMaxBytesVariable, "4096");
  TValidationRun small;
  wAdd(small, u"", Utf8ToU(ns));
  EXPECT_TRUE(small.registered.empty());
}

}  // namespace
}  // namespace vx
