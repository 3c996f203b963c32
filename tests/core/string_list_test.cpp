#include "core/string_list.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TStringList ListOf(std::initializer_list<UString> lines) {
  TStringList l;
  for (const auto& line : lines) l.Add(line);
  return l;
}

std::vector<UString> Decode(UStringView text) {
  TStringList l;
  l.SetDelimitedText(text);
  return l.Lines();
}

TEST(WireText, WorkedExamplesEncodeExactly) {
  EXPECT_EQ(ListOf({u"HANDLE=5000", u"CMD=#CLIENTRECONNECT", u"CMD_HANDLE=5000"}).DelimitedText(),
            u"HANDLE=5000,CMD=#CLIENTRECONNECT,CMD_HANDLE=5000");
  EXPECT_EQ(ListOf({u"XMLFILE=C:\\My Files\\a.xml"}).DelimitedText(), u"\"XMLFILE=C:\\My Files\\a.xml\"");
  EXPECT_EQ(
      ListOf({u"CMD_MAPI_SEND_MAIL_RESULT={\"Result\":0,\"Error\":\"\"}", u"CMD=#CMD_MAPI_SEND_MAIL_RESULT",
              u"CMD_HANDLE=5000"})
          .DelimitedText(),
      u"\"CMD_MAPI_SEND_MAIL_RESULT={\"\"Result\"\":0,\"\"Error\"\":\"\"\"\"}\",CMD=#CMD_MAPI_SEND_MAIL_"
      u"RESULT,CMD_HANDLE=5000");
  EXPECT_EQ(ListOf({u"LOG_LEVEL=200", u"XSD=a,b"}).DelimitedText(), u"LOG_LEVEL=200,\"XSD=a,b\"");
  EXPECT_EQ(ListOf({u""}).DelimitedText(), u"\"\"");
  EXPECT_EQ(TStringList().DelimitedText(), u"");
}

TEST(WireText, WorkedExamplesDecodeBack) {
  EXPECT_EQ(Decode(u"HANDLE=5000,CMD=#CLIENTRECONNECT,CMD_HANDLE=5000"),
            (std::vector<UString>{u"HANDLE=5000", u"CMD=#CLIENTRECONNECT", u"CMD_HANDLE=5000"}));
  EXPECT_EQ(Decode(u"\"XMLFILE=C:\\My Files\\a.xml\""),
            (std::vector<UString>{u"XMLFILE=C:\\My Files\\a.xml"}));
  EXPECT_EQ(Decode(u"LOG_LEVEL=200,\"XSD=a,b\""), (std::vector<UString>{u"LOG_LEVEL=200", u"XSD=a,b"}));
  EXPECT_EQ(Decode(u"\"\""), (std::vector<UString>{u""}));
  EXPECT_TRUE(Decode(u"").empty());
  EXPECT_EQ(Decode(u" a , \"b c\" ,"), (std::vector<UString>{u"a", u"b c", u""}));
}

TEST(WireText, DecodingEdgeCases) {
  // Blanks end a plain item; characters after a closing quote start a new item.
  EXPECT_EQ(Decode(u"a b"), (std::vector<UString>{u"a", u"b"}));
  EXPECT_EQ(Decode(u"\"a\"b,c"), (std::vector<UString>{u"a", u"b", u"c"}));
  // A quoted item without its closing quote takes the rest, pairs collapsed.
  EXPECT_EQ(Decode(u"x,\"rest, with \"\"q\"\" and more"),
            (std::vector<UString>{u"x", u"rest, with \"q\" and more"}));
  // The text ends at a NUL.
  EXPECT_EQ(Decode(UString(u"a,b\0c,d", 7)), (std::vector<UString>{u"a", u"b"}));
  // Leading and trailing controls are not significant.
  EXPECT_EQ(Decode(u"\r\n\t a=1 \r\n"), (std::vector<UString>{u"a=1"}));
  EXPECT_EQ(Decode(u",a"), (std::vector<UString>{u"", u"a"}));
}

TEST(WireText, RoundTripKeepsEveryLine) {
  const std::vector<UString> values = {
      u"path=C:\\Moje dokumenty\\plik, \"zażółć\" gęślą jaźń.xml",
      u"crlf=line 1\r\nline 2\r\n",
      u"tab=a\tb\t",
      u"quotes=\"\"\"\"",
      u"eq=a=b==c",
      u"json={\"Result\":0,\"Error\":\"\"}",
      u"polish=ŁÓDŹ",
      u"",
      u" leading and trailing ",
      u"\x01\x1f control",
  };
  TStringList list;
  for (const auto& v : values) list.Add(v);
  EXPECT_EQ(Decode(list.DelimitedText()), values);
}

TEST(WireText, QuotingRules) {
  // Characters above U+00FF never force quotes; anything at or below U+0020, quote, comma does.
  EXPECT_EQ(ListOf({u"a=zażółć"}).DelimitedText(), u"a=zażółć");
  EXPECT_EQ(ListOf({u"a=\u00a0"}).DelimitedText(), u"a=\u00a0");
  EXPECT_EQ(ListOf({u"a=\"\""}).DelimitedText(), u"\"a=\"\"\"\"\"");
  EXPECT_EQ(ListOf({u"a\tb"}).DelimitedText(), u"\"a\tb\"");
  EXPECT_EQ(ListOf({u"a", u"", u"b"}).DelimitedText(), u"a,,b");
}

TEST(StringList, ValuesByName) {
  TStringList l;
  l.SetDelimitedText(u"CMD=#CMD_GET_STATUS,XSD=a=b,LINE,CMD=#second");
  EXPECT_EQ(l.Value(u"cmd"), u"#CMD_GET_STATUS");  // case-insensitive, first line wins
  EXPECT_EQ(l.Value(u"XSD"), u"a=b");
  EXPECT_EQ(l.Value(u"LINE"), u"");  // a line without "=" has no name
  EXPECT_EQ(l.Value(u"missing"), u"");

  l.SetValue(u"xsd", u"new");
  EXPECT_EQ(l.Strings(1), u"xsd=new");  // replaced in place
  l.SetValue(u"NEW", u"1");
  EXPECT_EQ(l.Strings(l.Count() - 1), u"NEW=1");  // appended
  std::size_t before = l.Count();
  l.SetValue(u"absent", u"");
  EXPECT_EQ(l.Count(), before);
  l.SetValue(u"XSD", u"");
  EXPECT_EQ(l.Count(), before - 1);
  EXPECT_EQ(l.Value(u"XSD"), u"");

  TStringList polish;
  polish.Add(u"ŁÓDŹ=1");
  EXPECT_EQ(polish.Value(u"łódź"), u"1");
}

TEST(StringList, HandleValues) {
  TStringList l;
  l.SetDelimitedText(u"A=5000,B=abc,C=-12,D=2147483648,E=,F=2147483647");
  EXPECT_EQ(HandleValue(l, u"A"), 5000);
  EXPECT_EQ(HandleValue(l, u"B"), 0);
  EXPECT_EQ(HandleValue(l, u"C"), -12);
  EXPECT_EQ(HandleValue(l, u"D"), 0);
  EXPECT_EQ(HandleValue(l, u"E"), 0);
  EXPECT_EQ(HandleValue(l, u"F"), 2147483647);
  EXPECT_EQ(HandleValue(l, u"missing"), 0);
}

}  // namespace
}  // namespace vx
