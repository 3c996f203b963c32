// Validation through the worker: real worker processes, stand-in workers with fixed answers, the
// mode selection by size, and the log replay.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/system_functions.h"
#include "support/child.h"
#include "support/debug_log.h"
#include "validation/entry.h"
#include "validation/validation_fixture.h"
#include "validation/worker_job.h"

namespace vx {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kFailed = "Nie powiodła się weryfikacja pliku XML.";

class WorkerJobTest : public test::ValidationTest {
 protected:
  WorkerJobTest() : FWorker("VX64_WORKER", nullptr) { RegisterValidationJob(); }

  // A stand-in worker program: `vx_test_peer <args...> <host handle>`.
  std::string FakeWorker(const std::string& args) {
    const auto script = dir.path() / ("worker-" + std::to_string(++FScripts));
    test::WriteFile(script, "#!/bin/sh\nexec " + test::BinPath("vx_test_peer") + " " + args + " \"$1\"\n");
    chmod(script.c_str(), 0755);
    return script.string();
  }
  std::string XmlFile(const std::string& name, const std::string& content) {
    const auto file = dir.path() / name;
    test::WriteFile(file, content);
    return file.string();
  }
  // A well-formed file of exactly `size` bytes: a root element padded with blanks.
  std::string SizedFile(const std::string& name, std::uint64_t size, const std::string& root = "<a>") {
    const std::string close = "</a>";
    const auto file = dir.path() / name;
    std::ofstream out(file, std::ios::binary);
    out << root;
    std::string blanks(1 << 20, ' ');
    std::uint64_t left = size - root.size() - close.size();
    while (left > 0) {
      std::uint64_t n = std::min<std::uint64_t>(left, blanks.size());
      out.write(blanks.data(), static_cast<std::streamsize>(n));
      left -= n;
    }
    out << close;
    return file.string();
  }
  std::vector<std::string> LinesAt(std::int32_t level) const {
    std::vector<std::string> out;
    for (const auto& l : log.lines) {
      if (l.level == level) out.push_back(l.text);
    }
    return out;
  }

  test::ScopedEnv FWorker;
  int FScripts = 0;
};

TEST_F(WorkerJobTest, RealWorkerValidAndInvalidWithAwkwardPaths) {
  test::DebugLogCapture debug;
  const auto folder = dir.path() / "Moje \"pliki\", zażółć";
  std::filesystem::create_directories(folder);
  const std::string valid = (folder / "dobry plik, ąę.xml").string();
  test::WriteFile(valid, "<root><a/></root>");
  TValidationWorkerCom client;
  EXPECT_EQ(SendXMLValidateFile(client, Utf8ToU(valid), u"", u"", u"0"), u"");
  EXPECT_TRUE(debug.Contains("CMD_GET_XML_VALIDATION_RESULT=OK"));
  // The file exists only under that path: a valid answer means the path arrived intact.

  const std::string broken = (folder / "zły \"plik\".xml").string();
  test::WriteFile(broken, "<root><a></root>");
  UString r = SendXMLValidateFile(client, Utf8ToU(broken), u"", u"", u"0");
  EXPECT_THAT(UToUtf8(r), HasSubstr("mismatch"));
  EXPECT_TRUE(LinesAt(0).empty());  // level 0: nothing captured, nothing replayed
}

TEST_F(WorkerJobTest, LogLevel200CapturesAndReplays) {
  const std::string file = XmlFile("plain.xml", "<root/>");
  TValidationWorkerCom client;
  EXPECT_EQ(SendXMLValidateFile(client, Utf8ToU(file), u"", u"", u"200"), u"");
  EXPECT_THAT(
      LinesAt(0),
      ElementsAre("Walidacja XML: Stworzenie obiektu XML klasy \"MSXML2.DOMDocument.6.0\".",
                  "Walidacja XML: Stworzono obiekt XML - OK.",
                  "Walidacja XML: Sprawdzenia pliku XML wględem poprawności jego struktury.",
                  "Walidacja XML: Sprawdzenia pliku XML wględem poprawności jego struktury - "
                  "Koniec.",
                  "Walidacja XML: Stworzenie obiektu XSD klasy \"MSXML2.XMLSchemaCache.6.0\".",
                  "Walidacja XML: Stworzono obiekt XSD - OK.", "Walidacja XML: Analiza pzestrzeni nazw."));
}

TEST_F(WorkerJobTest, AnswersTravelUnchangedAndTheLogIsReplayedPartByPart) {
  test::ScopedEnv worker(
      "VX64_WORKER",
      FakeWorker("answer 'Błąd w wierszu\\r\\ndrugi, \"cytat\"' 'a\\t\\tb\\r\\nc\\t'").c_str());
  TValidationWorkerCom client;
  UString r = SendXMLValidateFile(client, Utf8ToU(XmlFile("x.xml", "<a/>")), u"", u"", u"200");
  EXPECT_EQ(r, u"Błąd w wierszu\r\ndrugi, \"cytat\"");
  EXPECT_THAT(LinesAt(0), ElementsAre("a", "", "b\r\nc"));
}

TEST_F(WorkerJobTest, CapturedLinesLoseTheirTabs) {
  TValidationJobData job;
  job.ToLog(u"");
  EXPECT_EQ(job.FLog, u"");  // an empty first line leaves nothing
  job.ToLog(u"a\tb");
  job.ToLog(u"c\r\nd");
  EXPECT_EQ(job.FLog, u"ab\tc\r\nd");
}

TEST_F(WorkerJobTest, OnlyTheExactFailureTextIsRetriedInProcess) {
  const std::string file = XmlFile("ok.xml", "<a/>");
  test::ScopedEnv exact("VX64_WORKER", FakeWorker("answer '" + kFailed + "' ''").c_str());
  EXPECT_EQ(ValidateXMLFile(Utf8ToU(file), u"", u"", TValidationMode::Worker), u"");
  EXPECT_TRUE(log.Has("Walidacja XML: W trybie 64-bit nie powiodła się."));
  EXPECT_EQ(log.Count("Walidacja XML - Start."), 2);  // the retry is a full run of its own
  EXPECT_TRUE(log.Has("Walidacja XML: W trybie 32-bit."));

  log.lines.clear();
  test::ScopedEnv more("VX64_WORKER", FakeWorker("answer '" + kFailed + " x' ''").c_str());
  EXPECT_EQ(UToUtf8(ValidateXMLFile(Utf8ToU(file), u"", u"", TValidationMode::Worker)), kFailed + " x");
  EXPECT_FALSE(log.Has("Walidacja XML: W trybie 64-bit nie powiodła się."));
}

TEST_F(WorkerJobTest, AWorkerThatNeverAnswersIsAFailureNotAValidFile) {
  const std::string file = XmlFile("ok.xml", "<a/>");
  const auto script = dir.path() / "dies";
  test::WriteFile(script, "#!/bin/sh\nexit 0\n");
  chmod(script.c_str(), 0755);
  test::ScopedEnv worker("VX64_WORKER", script.c_str());
  TValidationWorkerCom client;
  client.FXMLValidatonResult = u"OK";  // a stale answer must not be taken for this job's
  EXPECT_EQ(UToUtf8(SendXMLValidateFile(client, Utf8ToU(file), u"", u"", u"0")), kFailed);
  EXPECT_TRUE(log.Has("Walidacja XML: W trybie 64-bit brak odpowiedzi procesu vx64BWorker."));
}

TEST_F(WorkerJobTest, AWorkerThatDiedIsNotFollowedByARunInThisProcess) {
  const std::string file = XmlFile("ok.xml", "<a/>");
  const std::string marker = (dir.path() / "running").string();
  const auto dies = dir.path() / "dies";
  test::WriteFile(dies, "#!/bin/sh\nexit 0\n");
  chmod(dies.c_str(), 0755);
  for (const std::string& worker : {dies.string(), FakeWorker("stall " + marker)}) {
    log.lines.clear();
    std::filesystem::remove(marker);
    test::ScopedEnv env("VX64_WORKER", worker.c_str());
    std::thread killer([&] {
      auto deadline = std::chrono::steady_clock::now() + 10s;
      while (!std::filesystem::exists(marker) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
      int pid = 0;
      std::ifstream(marker) >> pid;
      if (pid > 0) kill(pid, SIGKILL);
    });
    const bool stalls = worker != dies.string();
    if (!stalls) test::WriteFile(marker, "0");  // nothing to kill
    UString r = ValidateXMLFile(Utf8ToU(file), u"", u"", TValidationMode::Worker);
    killer.join();
    EXPECT_EQ(UToUtf8(r), kFailed) << worker;
    EXPECT_TRUE(log.Has("Walidacja XML: W trybie 64-bit brak odpowiedzi procesu vx64BWorker.")) << worker;
    EXPECT_FALSE(log.Has("Walidacja XML: W trybie 32-bit.")) << worker;
    EXPECT_FALSE(log.Has("Walidacja XML: W trybie 64-bit nie powiodła się.")) << worker;
    EXPECT_EQ(log.Count("Walidacja XML - Start."), 1) << worker;
  }
}

// A host that asks for the worker gets it or no validation; the automatic mode still falls back.
TEST_F(WorkerJobTest, WorkerModeWithoutAWorkerIsNotDone) {
  const std::string file = XmlFile("ok.xml", "<a/>");
  const std::string missing = (dir.path() / "no-such-worker").string();
  test::ScopedEnv env("VX64_WORKER", missing.c_str());
  const std::string note = "Nie można znaleźć aplikacji do walidacji w trybie 64-Bit!(" + missing + ")";
  EXPECT_EQ(UToUtf8(ValidateXMLFile(Utf8ToU(file), u"", u"", TValidationMode::Worker)),
            kFailed + "\n\r" + note);
  EXPECT_TRUE(log.Has("Walidacja XML: W trybie 64-bit. " + note));
  EXPECT_FALSE(log.Has("Walidacja XML: W trybie 32-bit."));
  EXPECT_TRUE(log.Has("Walidacja XML - Koniec."));

  log.lines.clear();
  EXPECT_EQ(ValidateXMLFile(Utf8ToU(file), u"", u"", TValidationMode::Auto), u"");
  EXPECT_TRUE(log.Has("Walidacja XML: W trybie 32-bit."));
}

TEST_F(WorkerJobTest, AWorkerKilledDuringTheRequestEndsTheWaitAtOnce) {
  const std::string marker = (dir.path() / "running").string();
  test::ScopedEnv worker("VX64_WORKER", FakeWorker("stall " + marker).c_str());
  std::chrono::steady_clock::time_point killedAt;
  std::thread killer([&] {
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!std::filesystem::exists(marker) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(50ms);
    int pid = 0;
    std::ifstream(marker) >> pid;
    killedAt = std::chrono::steady_clock::now();
    if (pid > 0) kill(pid, SIGKILL);
  });
  TValidationWorkerCom client;
  UString r = SendXMLValidateFile(client, Utf8ToU(XmlFile("ok.xml", "<a/>")), u"", u"", u"0");
  const auto returnedAt = std::chrono::steady_clock::now();
  killer.join();
  EXPECT_EQ(UToUtf8(r), kFailed);
  EXPECT_LT(returnedAt - killedAt, 1s);
}

TEST_F(WorkerJobTest, ModeBySize) {
  // Worker present (beside the test programs): in a 64-bit process the size decides; a 32-bit
  // process (the 32-bit build on this 64-bit kernel) hands every file to the worker.
  const bool wow64 = IsWow64Process();
  const std::string below = SizedFile("below.xml", kWorkerFileSize - 1);
  EXPECT_EQ(IsXMLFIle_Valid(Utf8ToU(below), u"", u"", true), u"");
  EXPECT_EQ(log.Has("Walidacja XML: W trybie 32-bit."), !wow64);
  EXPECT_EQ(log.Has("Walidacja XML: W trybie 64-bit."), wow64);
  std::filesystem::remove(below);

  log.lines.clear();
  const std::string at = SizedFile("at.xml", kWorkerFileSize);
  EXPECT_EQ(IsXMLFIle_Valid(Utf8ToU(at), u"", u"", true), u"");
  EXPECT_TRUE(log.Has("Walidacja XML: W trybie 64-bit."));
  EXPECT_FALSE(log.Has("Walidacja XML: W trybie 32-bit."));

  // Without the worker everything stays in this process.
  log.lines.clear();
  test::ScopedEnv missing("VX64_WORKER", (dir.path() / "no-such-worker").c_str());
  EXPECT_EQ(IsXMLFIle_Valid(Utf8ToU(at), u"", u"", true), u"");
  EXPECT_TRUE(log.Has("Walidacja XML: W trybie 32-bit."));
}

TEST_F(WorkerJobTest, LargeFileNotesOnlyAboveTheLimit) {
  test::ScopedEnv missing("VX64_WORKER", (dir.path() / "no-such-worker").c_str());
  DoAfterValidation = [](UString&) { throw std::runtime_error("engine fault"); };
  const std::string root = "<a xmlns=\"urn:test:none\">";
  const std::string at = SizedFile("at.xml", kWorkerFileSize, root);
  EXPECT_EQ(UToUtf8(IsXMLFIle_Valid(Utf8ToU(at), u"", u"", true)), kFailed);
  std::filesystem::remove(at);
  const std::string above = SizedFile("above.xml", kWorkerFileSize + 1, root);
  UString r = IsXMLFIle_Valid(Utf8ToU(above), u"", u"", true);
  if (IsWow64Process()) {
    // The 32-bit build on this 64-bit kernel: the worker would have helped, but it is missing.
    EXPECT_EQ(r, Utf8ToU(kFailed) +
                     u"\n\rBłąd walidacji w trybie 32-bit.\n\r Nie można znaleźć aplikacji do walidacji w "
                     u"trybie 64-Bit!(vx64BWorker.exe)");
  } else {
    EXPECT_EQ(
        r, Utf8ToU(kFailed) +
               u"\n\rWalidacja dużych plików może wymagać większej ilości pamięci!\n\rWykryto uruchomienie "
               u"walidacji w trybie 32bitowym.\n\rW przypadku dużej ilości danych należy uruchomić walidację "
               u"na 64 bitowym systemie operacyjnym!");
  }
  EXPECT_TRUE(log.Has("Walidacja XML: W trybie 32-bit nie powiodła się."));
}

TEST_F(WorkerJobTest, FileSizesUseAllSixtyFourBits) {
  const auto file = dir.path() / "sparse.xml";
  { std::ofstream(file) << "x"; }
  std::filesystem::resize_file(file, (std::uint64_t{1} << 32) + 1);
  EXPECT_EQ(FileSizeInBytes(Utf8ToU(file.string())), (std::uint64_t{1} << 32) + 1);
  EXPECT_EQ(FileSizeInBytes(u"/no/such/file"), 0u);
}

TEST_F(WorkerJobTest, ASecondRequestWhileOneRunsIsDroppedAndStopsTheCapture) {
  // Both ends in this process: the request's validation sends a second request from inside.
  TValidationWorkerCom host;
  Tvx64BWorkerCom worker;
  worker.SetClientHWND(host.MainHWND());
  worker.SendClientReconnect();
  const std::string file = XmlFile("ok.xml", "<a xmlns=\"urn:test:none\"/>");
  int nested = 0;
  DoAfterValidation = [&](UString&) {
    if (nested++ > 0) return;
    TStringList again;
    again.SetValue(u"XMLFILE", Utf8ToU(file));
    again.SetValue(u"LOG_LEVEL", u"200");
    host.SendCommand(u"CMD_RUN_XML_VALIDATION", &again);  // busy: dropped, no answer
  };
  TStringList request;
  request.SetValue(u"XMLFILE", Utf8ToU(file));
  request.SetValue(u"LOG_LEVEL", u"200");
  host.SendCommand(u"CMD_RUN_XML_VALIDATION", &request);
  EXPECT_EQ(nested, 1);
  EXPECT_FALSE(host.FXMLValidatonResult.empty());
  // The dropped request's end of command unset the capture: the hook's closing line was not kept.
  EXPECT_THAT(UToUtf8(host.FLog), HasSubstr("Walidacja XML: Zdarzenia DoAfterValidation"));
  EXPECT_THAT(UToUtf8(host.FLog),
              ::testing::Not(HasSubstr("Walidacja XML: Zdarzenia DoAfterValidation - koniec")));
  EXPECT_FALSE(static_cast<bool>(DoValidatorLog));
}

}  // namespace
}  // namespace vx
