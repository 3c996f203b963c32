// The reader: syntax, leniencies, exact error messages and positions, both text encodings.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "json/model/errors.h"
#include "json/read/builder.h"
#include "json_test_util.h"

namespace vx::json::test {
namespace {

std::string SyntaxError(std::u16string_view text) {
  try {
    (void)Parse(text);
  } catch (const TJSONSyntaxError& e) {
    return e.what();
  }
  return "no error";
}

std::string Illegal(std::string_view buffer, std::string_view codes, int line, int col) {
  return "Unexpected token ILLEGAL\n\r>> Zawartość bufora przed wystąpieniem błędu: " + std::string(buffer) +
         "\n\rPotencjalna przyczyna błędu w buforze: " + std::string(codes) +
         ". (Line: " + std::to_string(line) + " Col: " + std::to_string(col) + ")";
}

TEST(JsonReader, ValuesOfEveryKind) {
  EXPECT_EQ(Write(Parse(uR"({"a":1,"A":2})")), R"({"A":2})");
  auto arr = RefCast<TJSONArray>(Parse(uR"(["x",'y',True,NULL,-0,1E2,1.5e-3,fAlse,007])"));
  ASSERT_TRUE(arr);
  const TDataType kinds[] = {dtString, dtString, dtBoolean, dtNull,   dtInteger,
                             dtFloat,  dtFloat,  dtBoolean, dtInteger};
  ASSERT_EQ(arr->Count(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(arr->Get(i)->GetDataType(), kinds[i]) << i;
  EXPECT_EQ(Write(arr), R"(["x","y",true,null,0,100,0.0015,false,7])");
  EXPECT_EQ(Write(Parse(u"9223372036854775807")), "9223372036854775807");
  EXPECT_EQ(Write(Parse(u"-9223372036854775808")), "-9223372036854775808");
  EXPECT_THROW((void)Parse(u"9223372036854775808"), EConvertError);
  EXPECT_THROW((void)Parse(u"[-]"), EConvertError);
}

TEST(JsonReader, FloatsTooSmallForADoubleAreZeroAndTooLargeOnesAreRefused) {
  auto value = [](std::u16string_view text) {
    return RefCast<TJSONFloat>(RefCast<TJSONArray>(Parse(text))->Get(0))->GetData();
  };
  EXPECT_EQ(value(u"[1e-400]"), 0.0);
  EXPECT_TRUE(std::signbit(value(u"[-1e-400]")));
  EXPECT_EQ(value(u"[0.00000000001e-320]"), 0.0);
  EXPECT_EQ(value(u"[1e-99999999999999999999]"), 0.0);
  EXPECT_EQ(value(u"[4.9e-324]"), 4.9e-324);  // the smallest subnormal
  EXPECT_EQ(value(u"[1e-310]"), 1e-310);
  EXPECT_EQ(value(u"[0.0001e311]"), 1e307);
  EXPECT_THROW((void)Parse(u"[1e400]"), EConvertError);
  EXPECT_THROW((void)Parse(u"[-1000000e303]"), EConvertError);
  EXPECT_THROW((void)Parse(u"[1e99999999999999999999]"), EConvertError);
}

TEST(JsonReader, Escapes) {
  auto str = [](std::u16string_view text) { return RefCast<TJSONString>(Parse(text))->GetData(); };
  EXPECT_EQ(str(uR"("\u00e9\u00C9")"), u"\u00e9\u00c9");
  EXPECT_EQ(str(uR"("\"\\\/\b\f\n\r\t\v\'\q")"), u"\"\\/\b\f\n\r\t\v'q");
  EXPECT_EQ(str(uR"('it\'s "x"')"), u"it's \"x\"");
  EXPECT_EQ(str(u"\"tab\tinside\""), u"tab\tinside");  // raw control characters are accepted
  EXPECT_EQ(Write(Parse(uR"({a\u0062:1})")), R"({"ab":1})");
  EXPECT_EQ(SyntaxError(uR"(["\u00g0"])"), Illegal("", "67 HEX 30 HEX", 0, 6));
}

TEST(JsonReader, IllegalCharactersReportBufferCodesAndPosition) {
  EXPECT_EQ(SyntaxError(u"[1, @]"), Illegal("", "40 HEX 5D HEX", 0, 4));
  // A line feed inside a string: the position follows the line-feed rule (line 1 starts at column 1).
  EXPECT_EQ(SyntaxError(u"[1,\n\"a\nb\"]"), Illegal("a", "0A HEX 62 HEX", 2, 1));
  EXPECT_EQ(SyntaxError(u"[12x]"), Illegal("12", "78 HEX 5D HEX", 0, 3));
  EXPECT_EQ(SyntaxError(u"1e+"), "no error");  // the text ends: no lexeme, no value
  EXPECT_EQ(SyntaxError(u"[1e+x]"), Illegal("1e+", "78 HEX 5D HEX", 0, 4));
  EXPECT_EQ(SyntaxError(u"[+1]"), Illegal("", "2B HEX 31 HEX", 0, 1));
  EXPECT_EQ(SyntaxError(u"[1\u0142]"), Illegal("1", "142 HEX 5D HEX", 0, 2));
}

TEST(JsonReader, BuilderErrors) {
  EXPECT_EQ(SyntaxError(u"[1 2]"), "Unexpected end of input. (Line: 0 Col: 3)");
  EXPECT_EQ(SyntaxError(uR"({"a" 1})"), "Expected :. (Line: 0 Col: 5)");
  EXPECT_EQ(SyntaxError(uR"({"a":1 "b":2})"), "Unexpected end of input. (Line: 0 Col: 7)");
  EXPECT_EQ(SyntaxError(u"{null:1}"), "Unexpected end of input. (Line: 0 Col: 1)");
  EXPECT_EQ(SyntaxError(u"[1.2.3]"), "Unexpected end of input. (Line: 0 Col: 4)");
  // The text ends inside a container or before ":".
  EXPECT_EQ(SyntaxError(u"[1,2"), "Unexpected end of input. (Line: 0 Col: 4)");
  EXPECT_EQ(SyntaxError(uR"({"a":{"b":1})"), "Unexpected end of input. (Line: 0 Col: 12)");
  EXPECT_EQ(SyntaxError(uR"({"a")"), "Expected :. (Line: 0 Col: 4)");
  EXPECT_EQ(SyntaxError(u"[\"open"), "Unexpected end of input. (Line: 0 Col: 6)");
}

TEST(JsonReader, Leniencies) {
  EXPECT_EQ(Write(Parse(u"[1,,2]")), "[1,2]");
  EXPECT_EQ(Write(Parse(u"[,1]")), "[1]");
  EXPECT_EQ(Write(Parse(u"[1,]")), "[1]");
  EXPECT_EQ(Write(Parse(uR"({"a":1,})")), R"({"a":1})");
  EXPECT_EQ(Write(Parse(u"{a:1, 'b':2, true:3, $x-1/2:4}")), R"({"a":1,"b":2,"true":3,"$x-1/2":4})");
  EXPECT_EQ(Write(Parse(u"{}x")), "{}");
  EXPECT_EQ(Write(Parse(u"1.2.3")), "1.2");
  EXPECT_EQ(Write(Parse(u" \r\n\t[ ]")), "[]");
  EXPECT_FALSE(Parse(u""));
  EXPECT_FALSE(Parse(u"  "));
  EXPECT_FALSE(Parse(u"]"));
}

TEST(JsonReader, MemberWithoutValueIsAbsent) {
  EXPECT_EQ(Write(Parse(uR"({"a":})")), "{}");
  EXPECT_EQ(Write(Parse(uR"({"a":1,"b":,"c":3})")), R"({"a":1,"c":3})");
  // It still replaces an earlier member of the same name.
  EXPECT_EQ(Write(Parse(uR"({"a":1,"b":2,"A":})")), R"({"b":2})");
  auto doc = JO(uR"({"a":})");
  EXPECT_FALSE(doc->Contains(u"a"));
  EXPECT_EQ(doc->GetNull(u"a"), jUnAssigned);
  // A nil value set by a caller is skipped by the writer.
  auto obj = MakeRef<TJSONObject>();
  obj->AddPair(u"x", MakeRef<TJSONInteger>(1));
  obj->AddPair(u"y", IJSONAncestor());
  EXPECT_EQ(Write(obj), R"({"x":1})");
}

TEST(JsonReader, LargeObjectsKeepTheReplacementRule) {
  std::u16string text = u"{";
  for (int i = 0; i < 100; ++i) text += u"\"k" + IntToU(i) + u"\":" + IntToU(i) + u",";
  text += u"\"K5\":-5,\"k7\":,\"k99\":99}";
  auto obj = RefCast<TJSONObject>(Parse(text));
  ASSERT_EQ(obj->Count(), 99);
  EXPECT_EQ(obj->Get(97)->GetName(), u"K5");
  EXPECT_EQ(obj->Get(98)->GetName(), u"k99");
  EXPECT_FALSE(obj->Get(u"k7"));
  EXPECT_EQ(obj->Get(5)->GetName(), u"k6");
}

// Random objects of names that clash in ASCII case, small and large ones alike, against a model
// of the rule: a name already present leaves its place and the new member goes to the end.
TEST(JsonReader, ReplacedMembersFollowTheRuleInObjectsOfAnySize) {
  const std::u16string names[] = {u"a",         u"A",         u"b",  u"ab", u"aB",     u"Ab",
                                  u"ba",        u"x1",        u"X1", u"y1", u"\u0105", u"\u0104",
                                  u"long name", u"LONG NAME", u"",   u"k"};
  std::mt19937 rng(5);
  for (int round = 0; round < 400; ++round) {
    std::vector<std::pair<std::u16string, int>> model;
    std::u16string text = u"{";
    for (int i = 0, n = 1 + static_cast<int>(rng() % (round % 2 ? 60 : 12)); i < n; ++i) {
      std::u16string name = names[rng() % std::size(names)];
      if (rng() % 3 == 0) name += IntToU(static_cast<int>(rng() % 30));
      text += (i ? u"," : u"") + (u"\"" + name + u"\":") + IntToU(i);
      std::erase_if(model, [&](const auto& m) { return EqualNoCase(m.first, name); });
      model.emplace_back(name, i);
    }
    const auto obj = RefCast<TJSONObject>(Parse(text + u"}"));
    ASSERT_EQ(obj->Count(), static_cast<int>(model.size())) << UToUtf8(text);
    for (int i = 0; i < obj->Count(); ++i) {
      EXPECT_EQ(obj->Get(i)->GetName(), model[static_cast<std::size_t>(i)].first) << UToUtf8(text);
      EXPECT_EQ(Write(obj->Get(i)->GetValue()), std::to_string(model[static_cast<std::size_t>(i)].second));
    }
  }
}

TEST(JsonReader, NestingIsBounded) {
  const auto nested = [](int depth) { return std::u16string(depth, u'[') + std::u16string(depth, u']'); };
  EXPECT_TRUE(Parse(nested(kMaxNestingDepth)));
  EXPECT_EQ(SyntaxError(nested(kMaxNestingDepth + 1)), "Maximum nesting depth exceeded. (Line: 0 Col: 1000)");
  std::u16string objects;
  for (int i = 0; i < 5000; ++i) objects += u"{\"a\":";
  EXPECT_THROW((void)Parse(objects), TJSONSyntaxError);
}

TEST(JsonReader, Utf8TextReadsLikeUtf16Text) {
  const std::u16string texts[] = {
      uR"({"\u0142ódź":"zażółć","e":"\U0001F600",naïve:[1,2.5,true]})",
      u"[\"\U0001F600\", 1\u0142]",
      u"[\"\\\U0001F600\"]",
      u"\n[\"x\",\n\"\u00e9\u00e9\n\"]",
      // A backslash before a raw character outside the basic plane, outside any string.
      u"{\\\U0001F600:1}",
      u"{a\\\U0001F600b:1}",
      u"[\\\U0001F600]",
      u"[1,\\\U0001F600",
      u"\\\U0001F600",
      u"{\\\U0001F600\\\U0001F601:[\\\U0001F600]}",
  };
  for (const std::u16string& text : texts) {
    std::string fromUtf16, fromUtf8;
    try {
      const IJSONAncestor v = Parse(text);
      fromUtf16 = v ? Write(v) : "no value";
    } catch (const EJSONBaseError& e) {
      fromUtf16 = e.what();
    }
    try {
      const IJSONAncestor v = TJSONObject::ParseJSONValueUtf8(UToUtf8(text), true);
      fromUtf8 = v ? Write(v) : "no value";
    } catch (const EJSONBaseError& e) {
      fromUtf8 = e.what();
    }
    EXPECT_EQ(fromUtf8, fromUtf16) << UToUtf8(text);
  }
  EXPECT_EQ(Write(TJSONObject::ParseJSONValueUtf8("[\"a\xff\"]", false)), R"(["a\ufffd"])");
}

}  // namespace
}  // namespace vx::json::test
