// A worker whose job shows a dialog keeps answering: a status query then says EXECUTING, and
// the death of its host still ends it (and its dialog).
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "link/worker_com.h"
#include "support/child.h"
#include "support/temp_dir.h"

namespace vx {
namespace {

using namespace std::chrono_literals;

// Sets an environment variable for the life of the object (the programs started meanwhile see it).
class EnvSetting {
 public:
  EnvSetting(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvSetting() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  EnvSetting(const EnvSetting&) = delete;
  EnvSetting& operator=(const EnvSetting&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class WorkerDialogTest : public testing::Test {
 protected:
  WorkerDialogTest()
      : path_("PATH", (dir_.path().string() + ":" +
                       std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"))
                          .c_str()),
        dialogs_("VX64_DIALOGS", "zenity") {
    // A stand-in for zenity: writes its process id to "shown", says Yes once "go" exists (gives
    // up after 20 s, so a failing test leaves nothing running).
    const auto script = dir_ / "zenity";
    const std::string go = (dir_ / "go").string();
    test::WriteFile(script, "#!/bin/sh\necho $$ > '" + Shown() + ".tmp' && mv '" + Shown() + ".tmp' '" +
                                Shown() + "'\ni=0\nwhile [ ! -e '" + go +
                                "' ] && [ $i -lt 1000 ]; do sleep 0.02; i=$((i+1)); done\n[ -e '" + go +
                                "' ]\n");
    chmod(script.c_str(), 0755);
  }
  std::string Shown() const { return (dir_ / "shown").string(); }

  // Waits, serving this thread's windows, until `done` holds or the time is up.
  template <typename Done>
  static bool ServeUntil(Done done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      platform::WaitMessageTimeout(5);
    }
    return true;
  }

  // Sends the job request from a thread of its own, as a second host window would.
  std::thread SendJob(HWND worker) {
    TStringList request;
    request.SetValue(u"CMD", u"#CMD_RUN_XML_VALIDATION");
    const UString text = request.DelimitedText();
    return std::thread([this, worker, text] {
      platform::CopyDataBlock cds;
      cds.cbData = static_cast<std::uint32_t>((text.size() + 1) * 2);
      cds.lpData = text.c_str();
      (void)platform::SendWindowMessage(worker, platform::kMsgCopyData, 0,
                                        reinterpret_cast<std::intptr_t>(&cds));
      jobDone = true;
    });
  }

  test::TempDir dir_;
  EnvSetting path_;
  EnvSetting dialogs_;
  std::atomic<bool> jobDone{false};
};

TEST_F(WorkerDialogTest, AStatusQueryDuringTheDialogIsAnswered) {
  Tvx64BWorkerCom host;
  std::vector<UString> received;
  host.SetReciveProc([&](const UString& text) { received.push_back(text); });
  test::Child worker(test::BinPath("vx_test_peer"), {"dialog", std::to_string(host.MainHWND())});
  ASSERT_TRUE(ServeUntil([&] { return host.ClientStatus() == kStatusReady; }, 10s));
  std::thread job = SendJob(host.ClientHWND());
  ASSERT_TRUE(ServeUntil([&] { return std::filesystem::exists(Shown()); }, 10s));

  host.SetClientStatus(u"");
  EXPECT_TRUE(host.SendCommand(u"CMD_GET_STATUS", nullptr));
  EXPECT_EQ(host.ClientStatus(), u"EXECUTING");

  test::WriteFile(dir_ / "go", "");
  EXPECT_TRUE(ServeUntil([&] { return jobDone.load(); }, 10s));
  job.join();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_NE(received[0].find(u"CMD_GET_XML_VALIDATION_RESULT=TAK"), UString::npos);
  host.Close64BWorker();
  EXPECT_EQ(worker.WaitExit(10s), 0);
}

TEST_F(WorkerDialogTest, TheWorkerEndsWithItsHostDuringTheDialog) {
  std::optional<Tvx64BWorkerCom> host(std::in_place);
  test::Child worker(test::BinPath("vx_test_peer"), {"dialog", std::to_string(host->MainHWND())});
  ASSERT_TRUE(ServeUntil([&] { return host->ClientStatus() == kStatusReady; }, 10s));
  std::thread job = SendJob(host->ClientHWND());
  ASSERT_TRUE(ServeUntil([&] { return std::filesystem::exists(Shown()); }, 10s));
  pid_t dialog = 0;
  std::ifstream(Shown()) >> dialog;
  ASSERT_GT(dialog, 0);

  host.reset();  // the host's window goes
  EXPECT_EQ(worker.WaitExit(10s), 0);
  EXPECT_TRUE(ServeUntil([&] { return jobDone.load(); }, 10s));
  job.join();
  // The dialog went with the worker.
  EXPECT_TRUE(ServeUntil([&] { return kill(dialog, 0) != 0 && errno == ESRCH; }, 5s));
}

}  // namespace
}  // namespace vx
