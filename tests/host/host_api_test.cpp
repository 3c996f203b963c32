// The host library as an application uses it: only the public headers, linked to the shared
// library (a name missing from its export list fails this link).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/child.h"
#include "support/temp_dir.h"
#include "vx64/host.h"

namespace {

struct Line {
  std::u16string text;
  std::int32_t level;
};

class RecordingLogger : public vx64::ILogger {
 public:
  void DoLog(const std::u16string& text, std::int32_t level) override { lines.push_back({text, level}); }
  [[nodiscard]] bool Has(const std::u16string& text, std::int32_t level) const {
    for (const Line& l : lines) {
      if (l.text == text && l.level == level) return true;
    }
    return false;
  }
  std::vector<Line> lines;
};

// Installs the logger for one test and names the worker program the library starts.
class HostApi : public ::testing::Test {
 protected:
  void SetUp() override {
    vx64::SetLogger(&logger, 200);
    setenv("VX64_WORKER", vx::test::BinPath("vx64BWorker").c_str(), 1);
    setenv("VX64_DIALOGS", "none", 1);
  }
  void TearDown() override {
    vx64::SetLogger(nullptr, 0);
    unsetenv("VX64_WORKER");
  }
  RecordingLogger logger;
  vx::test::TempDir dir;
};

TEST_F(HostApi, LoggerGetsTheValidationLinesUntilItIsRemoved) {
  const std::u16string missing = vx64::FromUtf8((dir / "brak.xml").string());
  EXPECT_EQ(vx64::ValidateXMLFile(missing, vx64::ValidationMode::InProcess),
            u"Brak pliku do walidacji o nazwie: " + missing);
  EXPECT_TRUE(logger.Has(u"Walidacja XML - Start.", 200));
  EXPECT_TRUE(logger.Has(u"Walidacja XML - Koniec.", 200));

  vx64::SetLogger(nullptr, 0);
  const std::size_t before = logger.lines.size();
  EXPECT_FALSE(vx64::IsXMLFIle_Valid(missing, u"", u"", false).empty());
  EXPECT_EQ(logger.lines.size(), before);
}

TEST_F(HostApi, WorkerClientStartsAsksAndClosesTheRealWorker) {
  ASSERT_TRUE(vx64::WorkerPresent());
  vx64::WorkerClient client;
  ASSERT_TRUE(client.Start64BWorker());
  EXPECT_TRUE(client.ClientStarted());
  EXPECT_EQ(client.Status(), u"READY");
  EXPECT_EQ(client.AskStatus(), u"READY");
  client.Close64BWorker();
  EXPECT_EQ(client.ClientStatus(), u"UNKONOWN");
  EXPECT_FALSE(client.ClientStarted());
}

TEST_F(HostApi, ValidationThroughTheWorkerReplaysItsLogAtLevelZero) {
  vx::test::WriteFile(dir / "a.xml", "<a/>");
  const std::u16string file = vx64::FromUtf8((dir / "a.xml").string());
  vx64::WorkerClient client;
  EXPECT_EQ(client.SendXMLValidateFile(file, u"", u"", u"200"), u"");  // no namespace: nothing to break
  EXPECT_TRUE(logger.Has(u"Walidacja XML: Analiza pzestrzeni nazw.", 0));
  EXPECT_EQ(client.ClientStatus(), u"UNKONOWN");  // closed after the job
}

TEST_F(HostApi, MissingWorkerIsReportedAsAFailedValidation) {
  setenv("VX64_WORKER", (dir / "vx64BWorker").c_str(), 1);
  EXPECT_FALSE(vx64::WorkerPresent());
  vx64::WorkerClient client;
  EXPECT_FALSE(client.Start64BWorker());
  EXPECT_FALSE(client.ClientStarted());
  EXPECT_EQ(client.SendXMLValidateFile(u"/nie/ma.xml", u"", u"", u"0"), vx64::ValidationFailedText());
  EXPECT_EQ(vx64::ValidationFailedText(), u"Nie powiodła się weryfikacja pliku XML.");
}

TEST_F(HostApi, ProgressCountsTheBytesReadInThisProcessUntilRemoved) {
  // Several chunks of the reader: the counts grow to the file's size.
  const std::string file = (dir / "long.xml").string();
  vx::test::WriteFile(file, "<a>" + std::string(3 << 20, ' ') + "</a>");
  std::vector<std::uint64_t> counts;
  vx64::SetValidationProgress([&](std::uint64_t bytes) { counts.push_back(bytes); });
  EXPECT_EQ(vx64::ValidateXMLFile(vx64::FromUtf8(file), vx64::ValidationMode::InProcess), u"");
  ASSERT_GT(counts.size(), 1u);
  EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
  EXPECT_EQ(counts.back(), (3u << 20) + 7);

  vx64::SetValidationProgress({});
  counts.clear();
  EXPECT_EQ(vx64::ValidateXMLFile(vx64::FromUtf8(file), vx64::ValidationMode::InProcess), u"");
  EXPECT_TRUE(counts.empty());
}

TEST(HostText, VersionAndUtf8Conversions) {
  EXPECT_STREQ(vx64::Version(), VX64_VERSION);
  const std::string polish = "Zażółć gęślą jaźń";
  EXPECT_EQ(vx64::FromUtf8(polish).size(), 17u);
  EXPECT_EQ(vx64::ToUtf8(vx64::FromUtf8(polish)), polish);
  EXPECT_EQ(vx64::FromUtf8("\xff"), u"\uFFFD");
  // The test's locale is C, whose plain ASCII code set stands for UTF-8.
  EXPECT_EQ(vx64::ToLocale(vx64::FromLocale(polish)), polish);
  EXPECT_EQ(vx64::FromLocale("\xff"), u"\uFFFD");
}

}  // namespace
