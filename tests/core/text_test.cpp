// The shared ASCII text helpers: only A-Z/a-z fold, and bytes of multi-byte UTF-8 characters
// (negative as char) are never blanks.
#include <gtest/gtest.h>

#include "core/ustring.h"

namespace vx {
namespace {

TEST(AsciiText, OnlyAsciiLettersFold) {
  EXPECT_TRUE(EqualNoCase("Content-Type", "CONTENT-TYPE"));
  EXPECT_TRUE(EqualNoCase(u"cmd_get_status", u"CMD_GET_STATUS"));
  EXPECT_FALSE(EqualNoCase(u"\u0105", u"\u0104"));    // ą, Ą
  EXPECT_FALSE(EqualNoCase("\xC4\x85", "\xC4\x84"));  // the same in UTF-8
  EXPECT_FALSE(EqualNoCase("[", "{"));                // 0x5B and 0x7B differ by 32 too
  EXPECT_FALSE(EqualNoCase("ab", "abc"));
  EXPECT_TRUE(StartsWithNoCase("HTTPS://host", "https://"));
  EXPECT_FALSE(StartsWithNoCase("http", "https://"));
  EXPECT_TRUE(ContainsNoCase(u"http://www.W3.org/2001", u"WWW.W3.ORG"));
  EXPECT_FALSE(ContainsNoCase(u"www.w3", u"WWW.W3.ORG"));
  EXPECT_TRUE(ContainsNoCase("abc", ""));
}

TEST(AsciiText, TrimTakesBlanksOrTheGivenSet) {
  EXPECT_EQ(Trim(std::string_view(" \t\r\n\x01 x y \x1F")), "x y");
  EXPECT_EQ(Trim(std::u16string_view(u"\u00A0x ")), u"\u00A0x");  // no-break space is text
  EXPECT_EQ(Trim(std::string_view("\xC4\x85 ")), "\xC4\x85");     // UTF-8 bytes are text
  EXPECT_EQ(Trim(std::string_view(" \x01x\r"), " \r"), "\x01x");
  EXPECT_EQ(Trim(std::string_view("   ")), "");
}

}  // namespace
}  // namespace vx
