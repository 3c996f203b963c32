// Records to JSON and back: the reference record in all its forms, the integer, string and date
// rules, aliases, REVAL, type mismatches and the attribute helpers.
#include <gtest/gtest.h>

#include "json/serialize/serialize.h"
#include "json_test_util.h"

namespace sample {
using vx::UString;
using namespace vx::json;

enum class TLevel : std::uint8_t { Low, Mid, High };

struct TPoint {
  std::int32_t X = 0;
};
VX_RECORD(TPoint, VX_FIELD(X));

class TTag {
 public:
  UString Y;
};
VX_CLASS(TTag, VX_FIELD(Y));

struct TSample {
  UString S;
  std::int32_t I = 0;
  bool B = false;
  TDateTimeField D;
  TLevel E = TLevel::Low;
  std::vector<TPoint> L;
  std::unique_ptr<TTag> O;
};
VX_RECORD(TSample, VX_FIELD(S), VX_FIELD(I), VX_FIELD(B), VX_FIELD(D), VX_FIELD(E), VX_FIELD(L), VX_FIELD(O));

struct TNumbers {
  std::int32_t I32 = 0;
  std::uint32_t U32 = 0;
  std::int64_t I64 = 0;
  std::uint8_t Small = 0;
  double F = 0;
  UString Text;
  char16_t C = u'-';
  TSet<TLevel> Levels;
  std::array<std::int32_t, 2> Pair{};
  TVariant V;
};
VX_RECORD(TNumbers, VX_FIELD(I32), VX_FIELD(U32), VX_FIELD(I64), VX_FIELD(Small), VX_FIELD(F), VX_FIELD(Text),
          VX_FIELD(C), VX_FIELD(Levels), VX_FIELD(Pair), VX_FIELD(V));

struct TAliased {
  UString Subject;
  UString Body;
  std::int32_t Skip = 0;
  std::int32_t NoRead = 0;
  std::int32_t NoWrite = 0;
  std::int32_t Zero = 0;
  UString Empty;
};
VX_RECORD(TAliased, VX_FIELD(Subject, Alias(u"nm")), VX_FIELD(Body), VX_FIELD(Skip, DISABLE()),
          VX_FIELD(NoRead, DISABLEREAD()), VX_FIELD(NoWrite, DISABLEWRITE()), VX_FIELD(Zero, REVAL(0)),
          VX_FIELD(Empty, REVAL(u"", u"(none)")));

enum class TYesNo : bool { No, Yes };

struct TOther {
  std::int32_t A = 0;
  std::string Ansi;
  TYesNo Answer = TYesNo::No;
  std::function<void()> Callback;
  const TTypeInfo* Kind = nullptr;
  IDocObject Doc;
  IDocArray List;
  std::vector<TDateField> Days;
  TTimeField At;
};
VX_RECORD(TOther, VX_FIELD(A), VX_FIELD(Ansi), VX_FIELD(Answer), VX_FIELD(Callback), VX_FIELD(Kind),
          VX_FIELD(Doc), VX_FIELD(List), VX_FIELD(Days), VX_FIELD(At));

// Listed out of declaration order: refused when the description is first used.
struct TSwapped {
  std::int32_t First = 0;
  std::int32_t Second = 0;
};
VX_RECORD(TSwapped, VX_FIELD(Second), VX_FIELD(First));
}  // namespace sample

namespace vx::json::test {
namespace {
using namespace sample;

TSample MakeSample() {
  TSample r;
  r.S = u"x";
  r.I = 5;
  r.B = true;
  r.D = DT(2022, 11, 21, 9, 7, 34, 120);
  r.E = TLevel::High;
  r.L = {{1}, {2}};
  r.O = std::make_unique<TTag>();
  r.O->Y = u"z";
  return r;
}

constexpr char kSampleText[] =
    R"({"S":"x","I":5,"B":true,"D":"2022-11-21T09:07:34.120","E":2,"L":[{"X":1},{"X":2}],"O":{"Y":"z"}})";

TEST(SerializeRecord, ReferenceRecordCompact) {
  const TSample r = MakeSample();
  EXPECT_EQ(UToUtf8(TRecordJSONHelper<TSample>::AsJSON(r)), kSampleText);
  EXPECT_EQ(UToUtf8(TObjectJSONHelper::AsJSON(r, false, false)), kSampleText);
}

TEST(SerializeRecord, ReferenceRecordIndentedTwentyLines) {
  struct TLine {
    int Lead;
    const char* Text;
    int Trail;
  };
  const TLine lines[] = {{0, "{", 0},
                         {2, "\"S\":\"x\",", 0},
                         {2, "\"I\":  5,", 0},
                         {2, "\"B\":true,", 0},
                         {2, "\"D\":\"2022-11-21T09:07:34.120\",", 0},
                         {2, "\"E\":  2,", 0},
                         {2, "\"L\":", 2},
                         {2, "[", 0},
                         {4, "{", 0},
                         {6, "\"X\":      1", 4},
                         {4, "},", 0},
                         {4, "{", 0},
                         {6, "\"X\":      2", 4},
                         {4, "}", 2},
                         {2, "],", 0},
                         {2, "\"O\":", 2},
                         {2, "{", 0},
                         {4, "\"Y\":\"z\"", 2},
                         {2, "}", 0},
                         {0, "}", 0}};
  std::string expected;
  for (const TLine& l : lines) {
    if (!expected.empty()) expected += "\r\n";
    expected += std::string(l.Lead, ' ') + l.Text + std::string(l.Trail, ' ');
  }
  EXPECT_EQ(UToUtf8(TObjectJSONHelper::AsJSON(MakeSample(), true, false)), expected);
}

TEST(SerializeRecord, ReferenceRecordUniversalTimeOneHourEast) {
  ScopedTimeZone tz(kCentralEurope);
  const std::string text = UToUtf8(TObjectJSONHelper::AsJSON(MakeSample(), false, true));
  std::string expected = kSampleText;
  expected.replace(expected.find("09:07:34.120"), 12, "08:07:34.120Z");
  EXPECT_EQ(text, expected);
}

TEST(SerializeRecord, EmptyArrayAndNoObjectAreNull) {
  TSample r = MakeSample();
  r.L.clear();
  r.O.reset();
  EXPECT_EQ(UToUtf8(TRecordJSONHelper<TSample>::AsJSON(r)),
            R"({"S":"x","I":5,"B":true,"D":"2022-11-21T09:07:34.120","E":2,"L":null,"O":null})");
  r.S.clear();
  EXPECT_NE(UToUtf8(TRecordJSONHelper<TSample>::AsJSON(r)).find(R"("S":"")"), std::string::npos);
}

TEST(SerializeRecord, ReadBackRules) {
  const TSample back = TRecordJSONHelper<TSample>::FromJSON(Utf8ToU(kSampleText));
  EXPECT_EQ(back.S, u"x");
  EXPECT_EQ(back.I, 5);
  EXPECT_TRUE(back.B);
  EXPECT_EQ(back.E, TLevel::High);
  ASSERT_EQ(back.L.size(), 2u);
  EXPECT_EQ(back.L[1].X, 2);
  ASSERT_TRUE(back.O);
  EXPECT_EQ(back.O->Y, u"z");
  // Through the default date text: the milliseconds are gone.
  EXPECT_EQ(Fmt(back.D), "2022-11-21 09:07:34.000");

  // Missing members keep their values, unknown ones are ignored, null leaves a field unchanged.
  TSample r = MakeSample();
  TSerializeParse::WriteObject(r, JO(uR"({"I":7,"Unknown":1,"S":null,"O":null,"L":null,"B":false})"));
  EXPECT_EQ(r.I, 7);
  EXPECT_FALSE(r.B);
  EXPECT_EQ(r.S, u"x");
  EXPECT_EQ(r.L.size(), 2u);
  ASSERT_TRUE(r.O);
  EXPECT_EQ(r.O->Y, u"z");
  EXPECT_EQ(r.E, TLevel::High);
}

TEST(SerializeRecord, EmptyOrBlankTextGivesAnEmptyRecordAndOtherValuesAreRefused) {
  EXPECT_EQ(TRecordJSONHelper<TSample>::FromJSON(u"").I, 0);
  EXPECT_EQ(TRecordJSONHelper<TSample>::FromJSON(u"  \r\n ").S, u"");
  EXPECT_THROW((void)TRecordJSONHelper<TSample>::FromJSON(u"[1]"), EInvalidCast);
  EXPECT_THROW((void)TRecordJSONHelper<TSample>::FromJSON(u"{\"I\":"), TJSONSyntaxError);
}

TEST(SerializeRecord, IntegersAreCutToTheirWidth) {
  TNumbers n;
  n.U32 = 4294967295u;
  n.Small = 200;
  n.I64 = -9000000000;
  const std::string text = UToUtf8(TRecordJSONHelper<TNumbers>::AsJSON(n));
  EXPECT_NE(text.find(R"("U32":-1,)"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("Small":200,)"), std::string::npos);
  EXPECT_NE(text.find(R"("I64":-9000000000,)"), std::string::npos);
  EXPECT_EQ(TRecordJSONHelper<TNumbers>::FromJSON(Utf8ToU(text)).U32, 4294967295u);

  const TNumbers cut =
      TRecordJSONHelper<TNumbers>::FromJSON(u"{\"I32\":4294967301,\"U32\":-1,\"Small\":257}");
  EXPECT_EQ(cut.I32, 5);
  EXPECT_EQ(cut.U32, 4294967295u);
  EXPECT_EQ(cut.Small, 1);
}

TEST(SerializeRecord, OtherScalarKinds) {
  TNumbers n;
  n.F = 1.5;
  n.C = u'ł';
  n.Levels = {TLevel::Low, TLevel::High};
  n.Pair = {3, 4};
  n.V = TVariant::Int64(9);
  const std::string text = UToUtf8(TRecordJSONHelper<TNumbers>::AsJSON(n));
  EXPECT_NE(text.find(R"("F":1.5,"Text":"","C":"\u0142","Levels":[0,2],"Pair":[3,4],"V":9})"),
            std::string::npos)
      << text;
  const TNumbers back = TRecordJSONHelper<TNumbers>::FromJSON(Utf8ToU(text));
  EXPECT_EQ(back.F, 1.5);
  EXPECT_EQ(back.C, u'ł');
  EXPECT_EQ(back.Levels, n.Levels);
  EXPECT_EQ(back.Pair, n.Pair);
  EXPECT_EQ(back.V, TVariant::Int64(9));

  // Set ordinals outside 0..31 are ignored; a static array keeps elements beyond the JSON's; an
  // empty text leaves a character unchanged; an integer is a valid float.
  const TNumbers more =
      TRecordJSONHelper<TNumbers>::FromJSON(u"{\"Levels\":[1,40,-1],\"Pair\":[8],\"C\":\"\",\"F\":2}");
  EXPECT_TRUE(more.Levels.Contains(TLevel::Mid));
  EXPECT_EQ(more.Levels.Bits(), 2u);
  EXPECT_EQ(more.Pair[0], 8);
  EXPECT_EQ(more.C, u'-');
  EXPECT_EQ(more.F, 2.0);
}

TEST(SerializeRecord, TypeMismatchRaisesAndKeepsEarlierMembers) {
  TNumbers n;
  EXPECT_THROW(TSerializeParse::WriteObject(n, JO(uR"({"I32":3,"I64":1.5,"Text":"t"})")), EInvalidCast);
  EXPECT_EQ(n.I32, 3);
  EXPECT_EQ(n.Text, u"");
  EXPECT_THROW(TSerializeParse::WriteObject(n, JO(uR"({"U32":8,"Text":7,"C":"q"})")), EInvalidCast);
  EXPECT_EQ(n.U32, 8u);
  EXPECT_EQ(n.C, u'-');
  EXPECT_THROW((void)TRecordJSONHelper<TNumbers>::FromJSON(u"{\"Levels\":{}}"), EInvalidCast);
  EXPECT_THROW((void)TRecordJSONHelper<TSample>::FromJSON(u"{\"L\":[{\"X\":true}]}"), EInvalidCast);
  EXPECT_THROW((void)TRecordJSONHelper<TSample>::FromJSON(u"{\"O\":\"z\"}"), EInvalidCast);
  EXPECT_THROW((void)TRecordJSONHelper<TSample>::FromJSON(u"{\"B\":1}"), EInvalidCast);
}

TEST(SerializeRecord, StringMembersReceiveDateTextsInTheLibraryFormat) {
  ScopedTimeZone tz(kCentralEurope);
  TNumbers n;
  n.Text = u"12:30:00";
  const UString text = TRecordJSONHelper<TNumbers>::AsJSON(n);
  EXPECT_NE(UToUtf8(text).find(R"("Text":"12:30:00")"), std::string::npos);
  EXPECT_EQ(TRecordJSONHelper<TNumbers>::FromJSON(text).Text, u"12:30:00.000");
  EXPECT_EQ(TRecordJSONHelper<TNumbers>::FromJSON(u"{\"Text\":\"2022-11-21T09:07:34Z\"}").Text,
            u"2022-11-21T10:07:34.000");
}

TEST(SerializeRecord, DateMembers) {
  ScopedTimeZone tz(kCentralEurope);
  TOther o;
  o.Days = {DT(2022, 11, 21)};
  o.At = DT(1899, 12, 30, 12, 30);
  const std::string text = UToUtf8(TRecordJSONHelper<TOther>::AsJSON(o));
  EXPECT_NE(text.find(R"("Days":["2022-11-21"],"At":"12:30:00.000")"), std::string::npos) << text;
  // Date and time values are numbers and arrive exactly; a number is a day count.
  const TOther back = TRecordJSONHelper<TOther>::FromJSON(Utf8ToU(text));
  EXPECT_EQ(Fmt(back.Days.at(0)), "2022-11-21 00:00:00.000");
  EXPECT_EQ(Fmt(back.At), "1899-12-30 12:30:00.000");
  EXPECT_EQ(Fmt(TRecordJSONHelper<TOther>::FromJSON(u"{\"At\":44886.5}").At), "2022-11-21 12:00:00.000");
  EXPECT_EQ(TRecordJSONHelper<TOther>::FromJSON(u"{\"At\":\"not a date\"}").At.Value, 0);
  EXPECT_THROW((void)TRecordJSONHelper<TOther>::FromJSON(u"{\"At\":{}}"), EInvalidCast);
}

TEST(SerializeRecord, AliasAndTheNullTestUnderTheOwnName) {
  TAliased a;
  a.Subject = u"s";
  EXPECT_EQ(UToUtf8(TRecordJSONHelper<TAliased>::AsJSON(a)),
            R"j({"nm":"s","Body":"","NoRead":0,"Zero":null,"Empty":"(none)"})j");

  TAliased b;
  b.Subject = u"keep";
  TSerializeParse::WriteObject(b, JO(uR"({"Subject":null,"nm":"new"})"));
  EXPECT_EQ(b.Subject, u"keep");
  TSerializeParse::WriteObject(b, JO(uR"({"Subject":"ignored","nm":"new"})"));
  EXPECT_EQ(b.Subject, u"new");
}

TEST(SerializeRecord, DisableAttributesAndReval) {
  const TAliased a =
      TRecordJSONHelper<TAliased>::FromJSON(uR"({"Skip":1,"NoRead":2,"NoWrite":3,"Zero":4,"Empty":"x"})");
  EXPECT_EQ(a.Skip, 0);
  EXPECT_EQ(a.NoRead, 0);
  EXPECT_EQ(a.NoWrite, 3);
  EXPECT_EQ(a.Zero, 4);
  EXPECT_EQ(a.Empty, u"x");
  // A JSON value equal to EQVal is replaced by NewVal; a null NewVal gives the empty value.
  TAliased b;
  b.Zero = 9;
  TSerializeParse::WriteObject(b, JO(uR"({"Zero":0,"Empty":""})"));
  EXPECT_EQ(b.Zero, 0);
  EXPECT_EQ(b.Empty, u"(none)");
}

TEST(SerializeRecord, LeftOutKindsAndDocuments) {
  TOther o;
  EXPECT_EQ(UToUtf8(TRecordJSONHelper<TOther>::AsJSON(o)),
            R"({"A":0,"Ansi":"","Answer":0,"Callback":null,"Kind":null,"Doc":null,"List":null,"Days":null,)"
            R"("At":"00:00:00.000"})");
  o.Callback = [] {};
  o.Kind = &TypeInfoOf<TOther>();
  o.Doc = JO(u"{\"k\":[1]}");
  o.List = JA(u"[true]");
  o.Ansi = "plain";
  o.Answer = TYesNo::Yes;
  const std::string text = UToUtf8(TRecordJSONHelper<TOther>::AsJSON(o));
  // A boolean-like enumeration is an ordinal; a callback or class reference that is set is left out.
  EXPECT_EQ(
      text,
      R"({"A":0,"Ansi":"plain","Answer":1,"Doc":{"k":[1]},"List":[true],"Days":null,"At":"00:00:00.000"})");
  // The members hold copies: changing the record's document later does not change the JSON.
  const IDocObject json = TRecordJSONHelper<TOther>::AsJSONObject(o);
  o.Doc->SetInteger(u"k", 2);
  EXPECT_EQ(UToUtf8(json->AsJSON()), text);

  TOther back = TRecordJSONHelper<TOther>::FromJSON(Utf8ToU(text));
  ASSERT_TRUE(back.Doc && back.List);
  EXPECT_EQ(back.Ansi, "plain");
  EXPECT_EQ(back.Answer, TYesNo::Yes);
  EXPECT_THROW(TSerializeParse::WriteObject(back, JO(uR"({"Answer":true})")), EInvalidCast);
  EXPECT_EQ(UToUtf8(back.Doc->AsJSON()), R"({"k":[1]})");
  EXPECT_EQ(UToUtf8(back.List->AsJSON()), "[true]");
  TSerializeParse::WriteObject(back, JO(uR"({"Doc":[1],"List":{}})"));
  EXPECT_EQ(UToUtf8(back.Doc->AsJSON()), R"({"k":[1]})");
}

TEST(SerializeRecord, NullArrayElements) {
  const TSample r = TRecordJSONHelper<TSample>::FromJSON(uR"({"L":[{"X":4},null,{"X":6}]})");
  ASSERT_EQ(r.L.size(), 3u);
  EXPECT_EQ(r.L[0].X, 4);
  EXPECT_EQ(r.L[1].X, 0);
  EXPECT_EQ(r.L[2].X, 6);
  EXPECT_EQ(TRecordJSONHelper<TNumbers>::FromJSON(uR"({"Pair":[null,5]})").Pair[0], 0);
}

TEST(SerializeRecord, AttributeHelpers) {
  TAliased a;
  EXPECT_TRUE(TRecordJSONHelper<TAliased>::setJSONAttribute(a, u"Body", u"\"Hi\""));
  EXPECT_EQ(a.Body, u"Hi");
  EXPECT_FALSE(TRecordJSONHelper<TAliased>::setJSONAttribute(a, u"Body", u"Hi"));
  EXPECT_FALSE(TRecordJSONHelper<TAliased>::setJSONAttribute(a, u"Body", u"7"));
  EXPECT_EQ(a.Body, u"Hi");
  // NUL characters of the value become blanks.
  EXPECT_TRUE(TRecordJSONHelper<TAliased>::setJSONAttribute(a, u"Body", UString(u"\"a\0b\"", 5)));
  EXPECT_EQ(a.Body, u"a b");
  EXPECT_TRUE(TRecordJSONHelper<TAliased>::setJSONAttribute(a, u"{Body:'x',NoWrite:5}"));
  EXPECT_EQ(a.NoWrite, 5);

  TNumbers n;
  n.Text = u"12:30";
  n.I32 = 42;
  EXPECT_EQ(TRecordJSONHelper<TNumbers>::getJSONAttribute(n, u"Text"), u"1");
  EXPECT_EQ(TRecordJSONHelper<TNumbers>::getJSONAttribute(n, u"i32"), u"42");
  EXPECT_EQ(TRecordJSONHelper<TNumbers>::getJSONAttribute(n, u"\"I32\""), u"42");
  EXPECT_EQ(TRecordJSONHelper<TNumbers>::getJSONAttribute(n, u"Missing"), u"");
  EXPECT_EQ(TRecordJSONHelper<TNumbers>::getJSONAttribute(n, u""), TRecordJSONHelper<TNumbers>::AsJSON(n));
}

TEST(SerializeRecord, DescriptionOutOfDeclarationOrderIsRefused) {
  EXPECT_THROW((void)TypeInfoOf<TSwapped>(), std::logic_error);
  EXPECT_EQ(TypeInfoOf<TPoint>().Fields.size(), 1u);
}

TEST(SerializeRecord, Base64) {
  const auto enc = [](std::string_view s) {
    return UToUtf8(
        TSerializeParse::Base64Encode(std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size())));
  };
  EXPECT_EQ(enc(""), "");
  EXPECT_EQ(enc("f"), "Zg==");
  EXPECT_EQ(enc("fo"), "Zm8=");
  EXPECT_EQ(enc("foo"), "Zm9v");
  EXPECT_EQ(enc("foobar"), "Zm9vYmFy");
  const auto dec = [](std::u16string_view s) {
    const auto b = TSerializeParse::Base64Decode(s);
    return std::string(b.begin(), b.end());
  };
  EXPECT_EQ(dec(u"Zm9vYmFy"), "foobar");
  EXPECT_EQ(dec(u"Zm8="), "fo");
  EXPECT_EQ(dec(u"Zm\r\n9v!"), "foo");
  EXPECT_EQ(dec(u"Zg==Zm9v"), "f");
}

}  // namespace
}  // namespace vx::json::test
