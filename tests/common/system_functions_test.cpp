#include "common/system_functions.h"

#include <signal.h>

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "common/dialogs.h"
#include "platform/dialogs.h"
#include "support/temp_dir.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

UString Script(const test::TempDir& dir, const std::string& name, const std::string& body) {
  test::WriteFile(dir / name, "#!/bin/sh\n" + body);
  fs::permissions(dir / name, fs::perms::owner_all);
  return Utf8ToU((dir / name).string());
}

TEST(ExecuteFile, StartWaitAndFailure) {
  test::TempDir dir;
  UString three = Script(dir, "three", "sleep 0.1; exit 3\n");
  EXPECT_EQ(ExecuteFile(0, three, u"", {TExecuteFileOption::eoWait}), 3);
  EXPECT_EQ(
      ExecuteFile(0, three, u"",
                  {TExecuteFileOption::eoWait, TExecuteFileOption::eoElevate, TExecuteFileOption::eoHide}),
      3);

  // Without eoWait the call returns as soon as the program runs.
  UString slow = Script(dir, "slow", "sleep 2\n");
  auto start = std::chrono::steady_clock::now();
  TExecuteFileResult started = ExecuteFileEx(0, slow, u"", {});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(started.result, 0);
  ASSERT_TRUE(started.process);
  EXPECT_TRUE(started.process->Running());
  kill(static_cast<pid_t>(started.process->Id()), SIGKILL);
  EXPECT_EQ(started.process->Wait(), (platform::ExitStatus{128 + SIGKILL, true}));

  EXPECT_EQ(ExecuteFile(0, Utf8ToU((dir / "missing").string()), u"", {}), -1);
  TExecuteFileResult missing =
      ExecuteFileEx(0, u"vx-no-such-program.exe", u"x", {TExecuteFileOption::eoWait});
  EXPECT_EQ(missing.result, -1);
  EXPECT_FALSE(missing.process);
}

TEST(SystemQuestions, NoAccountControlAndNoEmulationInA64BitProcess) {
  EXPECT_FALSE(IsUACActive());
  EXPECT_EQ(IsWow64Process(), sizeof(void*) == 4 && platform::Is32BitProcessOn64BitSystem());
}

TEST(ResourceText, SeventeenPolishReplacements) {
  const std::pair<UString, UString> table[] = {
      {u"Warning", u"Ostrzeżenie"},
      {u"Error", u"Błąd"},
      {u"Information", u"Informacja"},
      {u"Confirm", u"Pytanie"},
      {u"&Yes", u"&Tak"},
      {u"&No", u"&Nie"},
      {u"Cancel", u"Anuluj"},
      {u"&Help", u"&Pomoc"},
      {u"No help available", u"Brak dostępnej pomocy"},
      {u"Help", u"Pomoc"},
      {u"&Abort", u"&Przerwij"},
      {u"&Retry", u"&Ponów"},
      {u"&Ignore", u"&Ignoruj"},
      {u"&All", u"&Wszystkie"},
      {u"N&o to All", u"Ni&e dla wsystkich"},
      {u"Yes to &All", u"Tak dla &Wszystkich"},
      {u"&Close", u"&Zamknij"},
  };
  for (const auto& [builtin, replacement] : table) EXPECT_EQ(ResourceText(builtin), replacement);
  EXPECT_EQ(ResourceText(u"OK"), u"OK");

  HookResourceString(u"&Close", u"&Koniec");
  EXPECT_EQ(ResourceText(u"&Close"), u"&Koniec");
  HookResourceString(u"&Close", u"&Zamknij");
}

// Records what the dialog layer asks for.
class RecordingDialogs final : public platform::UserDialogs {
 public:
  std::vector<std::vector<UString>> shown;
  int ShowMessage(const UString& caption, const UString& text, const std::vector<UString>& buttons) override {
    std::vector<UString> call{u"MessageBox", caption, text};
    call.insert(call.end(), buttons.begin(), buttons.end());
    shown.push_back(call);
    return 0;
  }
  bool Question(const UString& caption, const UString& text, const UString& yes, const UString& no) override {
    shown.push_back({u"Question", caption, text, yes, no});
    return true;
  }
  std::optional<UString> InputBox(const UString& caption, const UString& prompt, const UString& value,
                                  const UString& ok, const UString& cancel) override {
    shown.push_back({u"InputBox", caption, prompt, value, ok, cancel});
    return std::nullopt;
  }
};

TEST(MessageDialogs, UseTheDialogTexts) {
  auto fake = std::make_unique<RecordingDialogs>();
  RecordingDialogs* rec = fake.get();
  auto previous = platform::SetDialogs(std::move(fake));

  EXPECT_TRUE(AskYesNo(u"Czy pobrać?"));
  EXPECT_EQ(InputQuery(u"Schemat", u"Adres:", u"http://x"), std::nullopt);
  ShowMessage(u"Gotowe");
  ASSERT_EQ(rec->shown.size(), 3u);
  EXPECT_EQ(rec->shown[0], (std::vector<UString>{u"Question", u"Pytanie", u"Czy pobrać?", u"&Tak", u"&Nie"}));
  EXPECT_EQ(rec->shown[1],
            (std::vector<UString>{u"InputBox", u"Schemat", u"Adres:", u"http://x", u"OK", u"Anuluj"}));
  EXPECT_EQ(rec->shown[2], (std::vector<UString>{u"MessageBox", ApplicationTitle(), u"Gotowe", u"OK"}));
  EXPECT_FALSE(ApplicationTitle().empty());

  platform::SetDialogs(std::move(previous));
}

}  // namespace
}  // namespace vx
