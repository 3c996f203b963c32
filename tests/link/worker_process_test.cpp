// The worker executable and the host client across two processes.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "link/worker_com.h"
#include "support/child.h"
#include "support/debug_log.h"

namespace vx {
namespace {

using namespace std::chrono_literals;

void WriteScript(const std::filesystem::path& p, const std::string& body) {
  test::WriteFile(p, "#!/bin/sh\n" + body + "\n");
  chmod(p.c_str(), 0755);
}

// Runs the test body with a temporary current directory (where the worker looks for its archive),
// restoring the old one afterwards, and with the real worker beside the tests unless a fake one
// is named.
class InTempDir {
 public:
  InTempDir() : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
    unsetenv("VX64_WORKER");
  }
  ~InTempDir() {
    unsetenv("VX64_WORKER");
    std::filesystem::current_path(old_);
  }
  const test::TempDir& dir() const { return dir_; }
  // A fake worker running `body`, which the host starts in place of the real one.
  std::filesystem::path FakeWorker(const std::string& body) const {
    const std::filesystem::path p = dir_ / "fake-worker";
    WriteScript(p, body);
    setenv("VX64_WORKER", p.c_str(), 1);
    return p;
  }

 private:
  test::TempDir dir_;
  std::filesystem::path old_;
};

TEST(WorkerProcess, WithoutArgumentPreparesAndEnds) {
  InTempDir cwd;
  test::DebugLogCapture log;
  test::Child worker(test::BinPath("vx64BWorker"), {});
  EXPECT_EQ(worker.WaitExit(10s), 0);
  EXPECT_TRUE(log.Contains("Uwaga! - brak pliku lib64bit.zip !!!"));
  EXPECT_FALSE(log.Contains("TvxProcComMsg"));  // no endpoint was created
}

TEST(WorkerProcess, WithAHandleThatIsNoWindowEndsAfterPreparation) {
  InTempDir cwd;
  for (const char* arg : {"abc", "0"}) {
    test::DebugLogCapture log;
    test::Child worker(test::BinPath("vx64BWorker"), {arg, "ignored"});
    EXPECT_EQ(worker.WaitExit(10s), 0) << arg;
    EXPECT_TRUE(log.Contains("TvxProcComMsg.SetClientHWND -> Ustawiam klienta: 0")) << arg;
    EXPECT_TRUE(log.Contains("Brak ustawionego okna komunikacji klienta !!!")) << arg;
  }
}

TEST(WorkerProcess, AnnouncesAnswersAndClosesOnCommand) {
  InTempDir cwd;
  Tvx64BWorkerCom host;
  host.SetStatus(kStatusWaitForClient);
  host.Start64BWorker();
  ASSERT_TRUE(host.ClientStarted());
  ASSERT_EQ(host.ClientStatus(), u"READY");
  EXPECT_EQ(host.Status(), u"READY");
  const HWND worker = host.ClientHWND();
  EXPECT_TRUE(platform::WindowExists(worker));
  EXPECT_NE(worker, host.MainHWND());

  // The answer arrives inside the host's own send.
  for (UStringView name : {u"CMD_GET_STATUS", u"cmd_get_status"}) {
    host.SetClientStatus(u"");
    ASSERT_TRUE(host.SendCommand(name, nullptr));
    EXPECT_EQ(host.ClientStatus(), u"READY");
  }

  platform::Process* process = host.WorkerProcess();
  ASSERT_NE(process, nullptr);
  host.Close64BWorker();
  EXPECT_EQ(host.ClientHWND(), 0);
  EXPECT_EQ(host.ClientStatus(), u"UNKONOWN");
  // The worker ends within one loop pass; allow for a loaded machine.
  auto start = std::chrono::steady_clock::now();
  while (process->Running() && std::chrono::steady_clock::now() - start < 2s)
    std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(process->Running());
  EXPECT_EQ(process->TryWait(), platform::ExitStatus{0});
  EXPECT_FALSE(platform::WindowExists(worker));
}

TEST(WorkerProcess, ALostHostWindowIsRecreatedAndAnnouncedAcrossProcesses) {
  InTempDir cwd;
  Tvx64BWorkerCom host;
  // The peer answers like a worker but does not end with the host's first window.
  test::Child peer(test::BinPath("vx_test_peer"), {"respond", std::to_string(host.MainHWND())});
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (host.ClientStatus() != u"READY" && std::chrono::steady_clock::now() < deadline) {
    platform::WaitMessageTimeout(10);
  }
  ASSERT_EQ(host.ClientStatus(), u"READY");
  const HWND old = host.MainHWND();
  ASSERT_TRUE(platform::DestroyMessageWindow(old));
  host.SetClientStatus(u"");
  ASSERT_TRUE(host.SendCommand(u"CMD_GET_STATUS", nullptr));
  EXPECT_NE(host.MainHWND(), old);
  EXPECT_EQ(host.ClientStatus(), u"READY");  // answered to the new window, inside the send
}

TEST(WorkerProcess, TwoJobsInARowStartTwoWorkers) {
  InTempDir cwd;
  Tvx64BWorkerCom host;
  platform::ProcessId first = 0;
  for (int job = 0; job < 2; ++job) {
    TStringList none;
    ASSERT_TRUE(host.RunJob(u"CMD_GET_STATUS", none));
    ASSERT_NE(host.WorkerProcess(), nullptr);
    EXPECT_NE(host.WorkerProcess()->Id(), first);
    first = host.WorkerProcess()->Id();
    EXPECT_EQ(host.ClientStatus(), u"UNKONOWN");  // closed again
  }
}

// When its host goes the worker ends without a word, also to a peer it was switched to, and
// without forgetting that peer on the way out.
TEST(WorkerProcess, EndsWithItsHostWithoutSendingAnything) {
  InTempDir cwd;
  CloseRequested = false;
  test::DebugLogCapture log;
  Tvx64BWorkerCom host;
  host.SetStatus(kStatusWaitForClient);
  host.Start64BWorker();
  ASSERT_EQ(host.ClientStatus(), u"READY");
  platform::Process* process = host.WorkerProcess();
  ASSERT_NE(process, nullptr);

  Tvx64BWorkerCom other;
  std::vector<UString> received;
  other.SetReciveProc([&](const UString& text) { received.push_back(text); });
  other.SetClientHWND(host.ClientHWND());
  ASSERT_TRUE(other.SendClientReconnect());  // the worker now answers `other`

  ASSERT_TRUE(platform::DestroyMessageWindow(host.MainHWND()));
  const auto start = std::chrono::steady_clock::now();
  while (process->Running() && std::chrono::steady_clock::now() - start < 5s) platform::WaitMessageTimeout(5);
  EXPECT_FALSE(process->Running());
  EXPECT_EQ(process->TryWait(), platform::ExitStatus{0});
  EXPECT_TRUE(received.empty()) << (received.empty() ? "" : UToUtf8(received.front()));
  EXPECT_FALSE(CloseRequested);
  std::size_t workerLines = 0;
  for (const std::string& line : log.Lines(false)) {
    if (line.rfind(test::BinPath("vx64BWorker"), 0) != 0) continue;
    ++workerLines;
    EXPECT_EQ(line.find("Ustawiam klienta: 0"), std::string::npos) << line;
    EXPECT_EQ(line.find("Wysyłam do Klienta " + std::to_string(other.MainHWND())), std::string::npos) << line;
  }
  EXPECT_GT(workerLines, 0u);
  CloseRequested = false;
}

// A worker whose host is killed ends by itself, normally: its idle loop looks at the host's window
// on every pass.
TEST(WorkerProcess, EndsByItselfWhenItsHostIsKilled) {
  InTempDir cwd;
  // Orphaned workers become our children, so their end can be observed exactly.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  test::Child peer(test::BinPath("vx_test_peer"), {"host"});
  auto line = peer.ReadLine(10s);
  ASSERT_TRUE(line.has_value());
  ASSERT_EQ(line->rfind("WORKER ", 0), 0u) << *line;
  const pid_t worker = std::stoi(line->substr(7));
  peer.Kill(SIGKILL);
  ASSERT_EQ(peer.WaitExit(5s), 128 + SIGKILL);
  // The deadline only guards against a hang; the worker is killed if it is reached.
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  int status = 0;
  pid_t r = 0;
  while ((r = waitpid(worker, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  if (r == 0) {
    kill(worker, SIGKILL);
    waitpid(worker, &status, 0);
  }
  EXPECT_EQ(r, worker) << "the worker outlived its host";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}

std::size_t CountLines(const test::DebugLogCapture& log, const std::string& text) {
  std::size_t n = 0;
  for (const std::string& line : log.Lines())
    if (line.find(text) != std::string::npos) ++n;
  return n;
}

// Neither case waits for the announcement's bound (30 s); the deadlines below only guard against
// that.
TEST(WorkerProcess, AWorkerThatDiesOrCannotStartEndsTheWait) {
  InTempDir cwd;
  test::DebugLogCapture log;
  Tvx64BWorkerCom host;
  const std::filesystem::path fake = cwd.FakeWorker("exit 0");
  auto start = std::chrono::steady_clock::now();
  host.Start64BWorker();
  EXPECT_TRUE(host.ClientStarted());
  EXPECT_FALSE(host.WaitForClient());
  EXPECT_EQ(CountLines(log, "zakończył się bez odpowiedzi"), 1u);  // its end was noticed
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);

  // A worker that cannot be started: no wait at all.
  test::WriteFile(fake, std::string("\x7f"
                                    "ELF not really",
                                    15));
  chmod(fake.c_str(), 0755);
  start = std::chrono::steady_clock::now();
  host.Start64BWorker();
  EXPECT_FALSE(host.ClientStarted());
  EXPECT_FALSE(host.WaitForClient());
  EXPECT_EQ(host.WorkerProcess(), nullptr);  // nothing to wait for
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
}

// A worker that never announces itself costs one bound per job, not one per wait, and is ended
// and reaped: SIGTERM first, SIGKILL when it ignores that.
TEST(WorkerProcess, ASilentWorkerIsWaitedForOnceAndEnded) {
  InTempDir cwd;
  constexpr auto kBound = 3000ms;
  for (const auto& [body, code] :
       {std::pair{"exec sleep 30", 128 + SIGTERM}, std::pair{"trap '' TERM; exec sleep 30", 128 + SIGKILL}}) {
    cwd.FakeWorker(body);
    test::DebugLogCapture log;
    Tvx64BWorkerCom host;
    host.SetClientWaitTimeout(static_cast<int>(kBound.count()));
    const auto start = std::chrono::steady_clock::now();
    TStringList none;
    EXPECT_FALSE(host.RunJob(u"CMD_GET_STATUS", none)) << body;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, kBound) << body;
    ASSERT_NE(host.WorkerProcess(), nullptr);
    EXPECT_FALSE(host.WorkerProcess()->Running()) << body;
    EXPECT_EQ(host.WorkerProcess()->TryWait(), (platform::ExitStatus{code, true})) << body;
    // The job's second wait gave up at once, without a bound or a look at the ended worker.
    EXPECT_EQ(CountLines(log, "nie zgłosił się w wyznaczonym czasie"), 1u) << body;
    EXPECT_EQ(CountLines(log, "zakończył się bez odpowiedzi"), 0u) << body;
  }
}

// A worker that announces itself and then hangs in a request is ended after the request bound,
// which ends the host's blocked send.
TEST(WorkerProcess, AWorkerThatHangsInARequestIsEnded) {
  InTempDir cwd;
  const std::string marker = (cwd.dir() / "stalled").string();
  cwd.FakeWorker("exec " + test::BinPath("vx_test_peer") + " stall " + marker + " \"$1\"");
  test::DebugLogCapture log;
  Tvx64BWorkerCom host;
  host.SetRequestTimeout(1000);
  const auto start = std::chrono::steady_clock::now();
  TStringList none;
  EXPECT_FALSE(host.RunJob(u"CMD_RUN_XML_VALIDATION", none));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_TRUE(std::filesystem::exists(marker));  // the request did arrive
  ASSERT_NE(host.WorkerProcess(), nullptr);
  EXPECT_FALSE(host.WorkerProcess()->Running());
  EXPECT_EQ(host.WorkerProcess()->TryWait(), (platform::ExitStatus{128 + SIGTERM, true}));
  EXPECT_EQ(CountLines(log, "nie odpowiedział w wyznaczonym czasie"), 1u);
}

// Programs of the worker's name where the user stands are never run: the worker is the one
// beside the host (or the installed one), whatever the current directory holds.
TEST(WorkerProcess, HostCommandStatusIgnoresAWorkerInTheCurrentDirectory) {
  InTempDir cwd;
  const std::filesystem::path marker = cwd.dir() / "planted-ran";
  for (const char* name : {"vx64BWorker", "VX64BWORKER.EXE", "vx64BWorker.EXE"})
    WriteScript(cwd.dir() / name, "touch '" + marker.string() + "'; exit 1");
  {
    test::Child vxhost(test::BinPath("vxhost"), {"status"});
    EXPECT_EQ(vxhost.ReadLine(10s), "READY");
    EXPECT_EQ(vxhost.WaitExit(10s), 0);
  }
  Tvx64BWorkerCom host;
  host.SetStatus(kStatusWaitForClient);
  host.Start64BWorker();
  EXPECT_EQ(host.ClientStatus(), u"READY");
  host.Close64BWorker();
  EXPECT_TRUE(WorkerPresent());
  EXPECT_FALSE(std::filesystem::exists(marker));

  cwd.FakeWorker("exit 1");
  test::Child vxhost(test::BinPath("vxhost"), {"status"});
  EXPECT_EQ(vxhost.ReadLine(10s), std::nullopt);
  EXPECT_EQ(vxhost.WaitExit(10s), 2);
}

// The worker's own options are answered at once: no library folder is prepared, no host looked for.
TEST(WorkerProcess, OptionsAreAnsweredWithoutPreparing) {
  InTempDir cwd;
  test::DebugLogCapture log;
  {
    test::Child worker(test::BinPath("vx64BWorker"), {"--help"});
    EXPECT_EQ(worker.ReadLine(10s), "Użycie: vx64BWorker UCHWYT");
    EXPECT_EQ(worker.WaitExit(10s), 0);
  }
  {
    test::Child worker(test::BinPath("vx64BWorker"), {"--version"});
    const std::optional<std::string> line = worker.ReadLine(10s);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->rfind("vx64BWorker (vx64) ", 0), 0u) << *line;
    EXPECT_EQ(worker.WaitExit(10s), 0);
  }
  for (const char* option : {"--bogus", "-h", "-1", "--help=x"}) {
    const std::string err = (cwd.dir() / "stderr").string();
    test::Child worker("/bin/sh",
                       {"-c", "exec \"$0\" \"$1\" 2>\"$2\"", test::BinPath("vx64BWorker"), option, err});
    EXPECT_EQ(worker.ReadLine(10s), std::nullopt) << option;
    EXPECT_EQ(worker.WaitExit(10s), 2) << option;
    EXPECT_EQ(test::ReadFile(err), std::string("vx64BWorker: nieznana opcja \"") + option +
                                       "\" (vx64BWorker --help wypisuje składnię)\n");
  }
  EXPECT_FALSE(log.Contains("lib64bit.zip"));
  EXPECT_FALSE(log.Contains("TvxProcComMsg"));
}

}  // namespace
}  // namespace vx
