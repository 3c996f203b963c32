// Text conversion of the layer: the one converter's handling of input it cannot convert, the
// locale's code set, and the splitting of command texts into words.
#include <clocale>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/common/command_line.h"
#include "platform/posix/recode.h"
#include "platform/text_codec.h"

namespace vx::platform {
namespace {

using detail::OnBadInput;
using detail::Recode;

TEST(Recode, InputThatCannotBeConvertedIsReplacedOrFailsAsAsked) {
  // A broken sequence is one replacement and never swallows the character after it; a
  // character the target cannot hold is one replacement however long its sequence.
  EXPECT_EQ(Recode("a\xC3"
                   "b \xC5\xBC \xD0\xB6!",
                   "UTF-8", "ISO-8859-2", OnBadInput::ReplaceCharacter, "?"),
            "a?b \xBF ?!");
  // Byte by byte: every undecodable byte, a sequence cut off at the end included.
  EXPECT_EQ(Recode("Za\xBF\x81", "windows-1250", "UTF-8", OnBadInput::ReplaceByte, "#"), "Za\xC5\xBC#");
  EXPECT_EQ(Recode(std::string("a\0b\0c", 5), "UTF-16LE", "UTF-8", OnBadInput::ReplaceByte, "#"), "ab#");
  EXPECT_EQ(Recode("a\xFF", "UTF-8", "ISO-8859-2", OnBadInput::Fail), "");
  EXPECT_EQ(Recode("a", "no-such-code-set", "UTF-8", OnBadInput::Fail), std::nullopt);
  // A target with shift states is brought back to its initial state at the end.
  const std::optional<std::string> japanese =
      Recode("\xE6\x97\xA5 x", "UTF-8", "ISO-2022-JP", OnBadInput::ReplaceCharacter, "?");
  ASSERT_TRUE(japanese);
  EXPECT_EQ(japanese->substr(0, 3), "\x1B$B");
  EXPECT_EQ(japanese->substr(japanese->size() - 5), "\x1B(B x");
}

// Keeps the test process's own locale around a change of the character type.
class CharacterLocale {
 public:
  explicit CharacterLocale(const char* name) : saved_(std::setlocale(LC_CTYPE, nullptr)) {
    std::setlocale(LC_CTYPE, name);
  }
  ~CharacterLocale() { std::setlocale(LC_CTYPE, saved_.c_str()); }
  CharacterLocale(const CharacterLocale&) = delete;
  CharacterLocale& operator=(const CharacterLocale&) = delete;

 private:
  std::string saved_;
};

TEST(LocaleText, PolishLettersSurviveTheCLocale) {
  const CharacterLocale c("C");
  const std::string polish = "Zażółć gęślą jaźń";
  EXPECT_EQ(Utf8ToLocale(polish), polish);
  EXPECT_EQ(LocaleToUtf8(polish), polish);
}

TEST(CommandLine, WordsOfAWindowsCommandLineAndOfAShellCommand) {
  EXPECT_EQ(SplitWindowsParameters(u"a  \"b c\" \"d\"\"e\" \"\" f\tg\"h i\" ł"),
            (std::vector<std::string>{"a", "b c", "d\"e", "", "f", "gh i", "ł"}));
  EXPECT_TRUE(SplitWindowsParameters(u"  \t ").empty());
  EXPECT_EQ(SplitCommand("/usr/sbin/sendmail -t  'a \"b' \"c\\\"d 'e'\" f\\ g ''"),
            (std::vector<std::string>{"/usr/sbin/sendmail", "-t", "a \"b", "c\"d 'e'", "f g", ""}));
}

}  // namespace
}  // namespace vx::platform
