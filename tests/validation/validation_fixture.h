#pragma once
// Shared set-up for validation tests: the log captured, dialogs answered by a script, a private
// schema location map, and schemas served from a temporary folder.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/global_interface.h"
#include "platform/dialogs.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "validation/run_state.h"

namespace vx::test {

class RecordingLog : public IServerHelper {
 public:
  void DoLog(const UString& text, std::int32_t level) override { lines.push_back({UToUtf8(text), level}); }
  struct Line {
    std::string text;
    std::int32_t level;
  };
  std::vector<Line> lines;
  [[nodiscard]] std::vector<std::string> Texts() const;
  [[nodiscard]] bool Has(const std::string& text) const;
  [[nodiscard]] int Count(const std::string& prefix) const;
};

// Answers dialogs from a queue: "yes"/"no" for questions, "input:<text>"/"cancel" for input boxes.
class ScriptedDialogs : public platform::UserDialogs {
 public:
  std::deque<std::string> answers;
  std::vector<std::string> shown;  // "Question:<text>", "InputBox:<caption>|<value>", "MessageBox:<text>"
  int ShowMessage(const std::u16string& caption, const std::u16string& text,
                  const std::vector<std::u16string>& buttons) override;
  bool Question(const std::u16string& caption, const std::u16string& text, const std::u16string& yes,
                const std::u16string& no) override;
  std::optional<std::u16string> InputBox(const std::u16string& caption, const std::u16string& prompt,
                                         const std::u16string& value, const std::u16string& ok,
                                         const std::u16string& cancel) override;
};

class ValidationTest : public ::testing::Test {
 protected:
  ValidationTest();
  ~ValidationTest() override;

  // Writes a file under the served folder and returns its address on the server.
  std::string Publish(const std::string& path, const std::string& content);
  // A schema of the given target namespace declaring the given body.
  static std::string Schema(const std::string& targetNamespace, const std::string& body,
                            const std::string& extra = "");
  std::string MapText() const;

  TempDir dir;
  HttpServer server;
  RecordingLog log;
  ScriptedDialogs* dialogs = nullptr;  // owned by the platform while the test runs

 private:
  std::unique_ptr<platform::UserDialogs> FPreviousDialogs;
  std::unique_ptr<ScopedEnv> FMap;
};

}  // namespace vx::test
