#include "validation/validation_fixture.h"

#include <filesystem>

namespace vx::test {

std::vector<std::string> RecordingLog::Texts() const {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(l.text);
  return out;
}

bool RecordingLog::Has(const std::string& text) const {
  for (const auto& l : lines) {
    if (l.text == text) return true;
  }
  return false;
}

int RecordingLog::Count(const std::string& prefix) const {
  int n = 0;
  for (const auto& l : lines) n += l.text.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

int ScriptedDialogs::ShowMessage(const std::u16string&, const std::u16string& text,
                                 const std::vector<std::u16string>&) {
  shown.push_back("MessageBox:" + UToUtf8(text));
  return 0;
}

bool ScriptedDialogs::Question(const std::u16string& caption, const std::u16string& text,
                               const std::u16string&, const std::u16string&) {
  shown.push_back("Question:" + UToUtf8(caption) + "|" + UToUtf8(text));
  std::string a = answers.empty() ? "no" : answers.front();
  if (!answers.empty()) answers.pop_front();
  return a == "yes";
}

std::optional<std::u16string> ScriptedDialogs::InputBox(const std::u16string& caption, const std::u16string&,
                                                        const std::u16string& value, const std::u16string&,
                                                        const std::u16string&) {
  shown.push_back("InputBox:" + UToUtf8(caption) + "|" + UToUtf8(value));
  std::string a = answers.empty() ? "cancel" : answers.front();
  if (!answers.empty()) answers.pop_front();
  if (a.rfind("input:", 0) == 0) return Utf8ToU(a.substr(6));
  return std::nullopt;
}

ValidationTest::ValidationTest() {
  SHelp = &log;
  log.FLogLevel = 200;
  auto fake = std::make_unique<ScriptedDialogs>();
  dialogs = fake.get();
  FPreviousDialogs = platform::SetDialogs(std::move(fake));
  FMap = std::make_unique<ScopedEnv>("VX64_XSD_MAP", (dir.path() / "xsd_map.ini").c_str());
  std::filesystem::create_directories(dir.path() / "www");
  server.ServeTree(dir.path() / "www", false);
  server.Start();
}

ValidationTest::~ValidationTest() {
  SHelp = nullptr;
  DoValidatorLog = nullptr;
  DoAfterValidation = nullptr;
  DoBeforeAddXSD = nullptr;
  DoXSDNotFound = nullptr;
  platform::SetDialogs(std::move(FPreviousDialogs));
}

std::string ValidationTest::Publish(const std::string& path, const std::string& content) {
  std::filesystem::path file = dir.path() / "www" / path;
  std::filesystem::create_directories(file.parent_path());
  WriteFile(file, content);
  return server.Url("/" + path);
}

std::string ValidationTest::Schema(const std::string& targetNamespace, const std::string& body,
                                   const std::string& extra) {
  std::string tns = targetNamespace.empty() ? ""
                                            : " targetNamespace=\"" + targetNamespace + "\" xmlns:t=\"" +
                                                  targetNamespace + "\" elementFormDefault=\"qualified\"";
  return "<?xml version=\"1.0\"?>\n<xsd:schema xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"" + tns + extra +
         ">" + body + "</xsd:schema>";
}

std::string ValidationTest::MapText() const {
  return ReadFile(dir.path() / "xsd_map.ini");
}

}  // namespace vx::test
