#include "platform/dialogs.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/locale_settings.h"
#include "platform/window.h"
#include "support/temp_dir.h"

namespace vx::platform {
namespace {

TEST(ScriptDialogs, AnswersInOrderAndLogsEveryDialog) {
  test::TempDir dir;
  const auto script = dir / "answers";
  test::WriteFile(script, "yes\nno\n1\ncancel\ninput:nowa wartość\nok\nno\n");
  setenv("VX64_DIALOGS", ("script:" + script.string()).c_str(), 1);
  auto previous = SetDialogs(nullptr);

  UserDialogs& d = Dialogs();
  EXPECT_TRUE(d.Question(u"Pytanie", u"Czy?", u"&Tak", u"&Nie"));
  EXPECT_FALSE(d.Question(u"Pytanie", u"Linia 1\n\rLinia\t2", u"&Tak", u"&Nie"));
  EXPECT_EQ(d.ShowMessage(u"Błąd", u"x", {u"&Przerwij", u"&Ponów", u"&Ignoruj"}), 1);
  EXPECT_EQ(d.ShowMessage(u"Informacja", u"y", {u"OK"}), -1);
  EXPECT_EQ(d.InputBox(u"Adres", u"Podaj", u"stara", u"OK", u"Anuluj"), u"nowa wartość");
  EXPECT_EQ(d.InputBox(u"Adres", u"Podaj", u"stara", u"OK", u"Anuluj"), u"stara");
  EXPECT_EQ(d.InputBox(u"Adres", u"Podaj", u"stara", u"OK", u"Anuluj"), std::nullopt);
  // Out of answers: No / Cancel.
  EXPECT_FALSE(d.Question(u"Pytanie", u"Znowu?", u"&Tak", u"&Nie"));
  EXPECT_EQ(d.ShowMessage(u"Informacja", u"z", {u"OK"}), -1);

  EXPECT_EQ(test::ReadFile(dir / "answers.log"),
            "Question\tPytanie\tCzy?\t&Tak\t&Nie\n"
            "Question\tPytanie\tLinia 1\\n\\rLinia\\t2\t&Tak\t&Nie\n"
            "MessageBox\tBłąd\tx\t&Przerwij\t&Ponów\t&Ignoruj\n"
            "MessageBox\tInformacja\ty\tOK\n"
            "InputBox\tAdres\tPodaj\tstara\tOK\tAnuluj\n"
            "InputBox\tAdres\tPodaj\tstara\tOK\tAnuluj\n"
            "InputBox\tAdres\tPodaj\tstara\tOK\tAnuluj\n"
            "Question\tPytanie\tZnowu?\t&Tak\t&Nie\n"
            "MessageBox\tInformacja\tz\tOK\n");

  unsetenv("VX64_DIALOGS");
  SetDialogs(std::move(previous));
}

TEST(NonInteractiveDialogs, AnswerNoAndCancel) {
  setenv("VX64_DIALOGS", "none", 1);
  auto previous = SetDialogs(nullptr);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Dialogs().Question(u"Pytanie", u"Czy?", u"&Tak", u"&Nie"));
  EXPECT_EQ(Dialogs().InputBox(u"A", u"B", u"C", u"OK", u"Anuluj"), std::nullopt);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Pytanie: Czy?"), std::string::npos);
  unsetenv("VX64_DIALOGS");
  SetDialogs(std::move(previous));
}

TEST(LocaleFormat, StrftimeDateFormatsBecomeDayMonthYearPatterns) {
  EXPECT_EQ(DatePatternFromStrftime(u"%m/%d/%y"), u"MM/dd/yy");
  EXPECT_EQ(DatePatternFromStrftime(u"%d.%m.%Y"), u"dd.MM.yyyy");
  EXPECT_EQ(DatePatternFromStrftime(u"%Y-%m-%d"), u"yyyy-MM-dd");
  EXPECT_EQ(DatePatternFromStrftime(u"%F"), u"yyyy-MM-dd");
  EXPECT_EQ(DatePatternFromStrftime(u"%-d/%-m/%Y"), u"d/M/yyyy");
  EXPECT_EQ(DatePatternFromStrftime(u"%Y年%m月%d日"), u"yyyy年MM月dd日");
  EXPECT_EQ(DatePatternFromStrftime(u"%d de %B de %Y"), u"dd\" de \"MMMM\" de \"yyyy");
}

TEST(LocaleFormat, CLocaleValues) {
  const char* saved = std::getenv("LC_ALL");
  std::string keep = saved != nullptr ? saved : "";
  setenv("LC_ALL", "C", 1);
  LocaleFormat f = ReadLocaleFormat();
  EXPECT_EQ(f.thousandSeparator, char16_t{0});
  EXPECT_EQ(f.decimalSeparator, u'.');
  EXPECT_EQ(f.shortDateFormat, u"MM/dd/yy");
  if (saved != nullptr)
    setenv("LC_ALL", keep.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

}  // namespace
}  // namespace vx::platform

namespace vx::platform {
namespace {

// A modal dialog keeps the thread's window messages flowing: a message sent to the thread's
// window from elsewhere while the dialog waits is handled before the dialog ends.
class ModalDialogTest : public testing::Test {
 protected:
  static std::intptr_t Proc(WindowHandle, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
    if (message == kMsgUser) handledDuringDialog = inDialog && wParam == 7;
    return 42;
  }
  void SetUp() override {
    (void)RegisterWindowClass(u"ModalDialogTest", &Proc);
    window = CreateMessageWindow(u"ModalDialogTest");
    ASSERT_NE(window, 0);
    handledDuringDialog = false;
  }
  void TearDown() override {
    DestroyMessageWindow(window);
    SetDialogs(std::move(previous));
    unsetenv("VX64_DIALOGS");
  }
  void Use(const char* service) {
    setenv("VX64_DIALOGS", service, 1);
    previous = SetDialogs(nullptr);
  }
  // Sends the message from another thread, then lets the dialog end with `release`.
  std::thread SendThenRelease(std::function<void()> release) {
    return std::thread([this, release] {
      answered = SendWindowMessage(window, kMsgUser, 7, 0);
      release();
    });
  }
  bool AskWhileSending(std::function<void()> release) {
    std::thread sender = SendThenRelease(std::move(release));
    inDialog = true;
    const bool yes = Dialogs().Question(u"Pytanie", u"Czy?", u"&Tak", u"&Nie");
    inDialog = false;
    // Whatever was not handled during the dialog is handled now, so the sender ends.
    for (int i = 0; i < 100 && answered == 0; ++i) WaitMessageTimeout(10);
    sender.join();
    return yes;
  }

  WindowHandle window = 0;
  std::unique_ptr<UserDialogs> previous;
  std::atomic<std::intptr_t> answered{0};
  static inline std::atomic<bool> inDialog{false};
  static inline std::atomic<bool> handledDuringDialog{false};
};

TEST_F(ModalDialogTest, ADialogProgramsWaitServesMessages) {
  test::TempDir dir;
  // A stand-in for zenity that says Yes once it is released (No after 20 s).
  test::WriteFile(dir / "zenity", "#!/bin/sh\ni=0\nwhile [ ! -e '" + (dir / "go").string() +
                                      "' ] && [ $i -lt 1000 ]; do sleep 0.02; i=$((i+1)); done\n"
                                      "[ -e '" +
                                      (dir / "go").string() + "' ]\n");
  std::filesystem::permissions(dir / "zenity", std::filesystem::perms::owner_all);
  const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin";
  setenv("PATH", (dir.path().string() + ":" + path).c_str(), 1);
  Use("zenity");
  const bool yes = AskWhileSending([&] { test::WriteFile(dir / "go", ""); });
  setenv("PATH", path.c_str(), 1);
  EXPECT_TRUE(yes);
  EXPECT_TRUE(handledDuringDialog);
  EXPECT_EQ(answered, 42);
}

TEST_F(ModalDialogTest, ATerminalPromptServesMessages) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const int savedIn = dup(STDIN_FILENO);
  dup2(fds[0], STDIN_FILENO);
  close(fds[0]);
  Use("tty");
  testing::internal::CaptureStderr();
  const bool yes = AskWhileSending([&] {
    (void)!write(fds[1], "1\n", 2);
    close(fds[1]);
  });
  (void)testing::internal::GetCapturedStderr();
  dup2(savedIn, STDIN_FILENO);
  close(savedIn);
  EXPECT_TRUE(yes);
  EXPECT_TRUE(handledDuringDialog);
  EXPECT_EQ(answered, 42);
}

}  // namespace
}  // namespace vx::platform
