#include "platform/dialogs.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/locale_settings.h"
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
  EXPECT_EQ(d.MessageBox(u"Błąd", u"x", {u"&Przerwij", u"&Ponów", u"&Ignoruj"}), 1);
  EXPECT_EQ(d.MessageBox(u"Informacja", u"y", {u"OK"}), -1);
  EXPECT_EQ(d.InputBox(u"Adres", u"Podaj", u"stara", u"OK", u"Anuluj"), u"nowa wartość");
  EXPECT_EQ(d.InputBox(u"Adres", u"Podaj", u"stara", u"OK", u"Anuluj"), u"stara");
  EXPECT_EQ(d.InputBox(u"Adres", u"Podaj", u"stara", u"OK", u"Anuluj"), std::nullopt);
  // Out of answers: No / Cancel.
  EXPECT_FALSE(d.Question(u"Pytanie", u"Znowu?", u"&Tak", u"&Nie"));
  EXPECT_EQ(d.MessageBox(u"Informacja", u"z", {u"OK"}), -1);

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
