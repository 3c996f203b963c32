// The writer: exact compact and indented layouts, escaping, float texts and date forms.
#include <gtest/gtest.h>

#include <limits>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "json/model/errors.h"
#include "json_test_util.h"
#include "support/temp_dir.h"

namespace vx::json::test {
namespace {

constexpr char16_t kSample[] = uR"({"a":1,"b":"x","c":{"d":true},"e":[1,2]})";

TEST(JsonWriter, CompactFormHasNoWhiteSpace) {
  EXPECT_EQ(Write(Parse(kSample)), R"({"a":1,"b":"x","c":{"d":true},"e":[1,2]})");
  EXPECT_EQ(Write(Parse(u"{ }")), "{}");
  EXPECT_EQ(Write(Parse(u"[ ]")), "[]");
  EXPECT_EQ(Write(Parse(u"{\"a\" : [ ] }")), R"({"a":[]})");
}

TEST(JsonWriter, IndentedFormMatchesTheLayoutByteForByte) {
  const std::string expected =
      "{\r\n"
      "  \"a\":  1,\r\n"
      "  \"b\":\"x\",\r\n"
      "  \"c\":  \r\n"
      "  {\r\n"
      "    \"d\":true  \r\n"
      "  },\r\n"
      "  \"e\":  \r\n"
      "  [\r\n"
      "    1,\r\n"
      "    2  \r\n"
      "  ]\r\n"
      "}";
  EXPECT_EQ(Write(Parse(kSample), true), expected);
  EXPECT_EQ(UToUtf8(JO(kSample)->AsJSON(true, false)), expected);
  // Non-integer scalars in an array start at the beginning of their line.
  EXPECT_EQ(Write(Parse(u"[\"s\",1]"), true), "[\r\n\"s\",\r\n  1\r\n]");
  // Members without a value leave no comma behind, first and last ones included.
  EXPECT_EQ(Write(Parse(uR"({"a":,"b":1,"c":,"d":2,"e":})")), R"({"b":1,"d":2})");
  EXPECT_EQ(Write(Parse(uR"({"a":,"b":1,"c":})"), true), "{\r\n  \"b\":  1\r\n}");
}

TEST(JsonWriter, EscapingGivesPureAscii) {
  auto str = [](std::u16string_view s) { return Write(MakeRef<TJSONString>(UString(s))); };
  EXPECT_EQ(str(u"\"\\\t/"), R"("\"\\\t/")");
  EXPECT_EQ(str(std::u16string_view(u"\0", 1)), R"("\u0000")");
  EXPECT_EQ(str(std::u16string_view(u"a\0b", 3)), R"("a")");
  EXPECT_EQ(str(u"B\u0142\u0105d"), R"("B\u0142\u0105d")");
  EXPECT_EQ(str(u"\u007f\u001f\b\f\n\r\u000b"), R"("\u007f\u001f\b\f\n\r\u000b")");
  EXPECT_EQ(str(u"\U0001F600"), R"("\ud83d\ude00")");
  // Names are escaped the same way.
  auto obj = MakeRef<TJSONObject>();
  obj->AddPair(u"k\"\u00e9", MakeRef<TJSONInteger>(-3));
  EXPECT_EQ(Write(obj), R"({"k\"\u00e9":-3})");
}

TEST(JsonWriter, LongTextsAreEscapedAsTheirUnitsAre) {
  // A long text is escaped in pieces: every unit comes out as it does alone, across the edges.
  auto quoted = [](UStringView s) { return Write(MakeRef<TJSONString>(s)); };
  const char16_t units[] = {u'"', u'\\', 0x1f, 0x20, 0x7e, 0x7f, 0xff, 0x142, 0x8000, 0xffff, u'\n', u'/'};
  UString text;
  std::string expected = "\"";
  for (std::size_t i = 0; text.size() < 20000; ++i) {
    for (std::size_t k = 0; k < i % 19; ++k) {
      text.push_back(static_cast<char16_t>(u'A' + k));
      expected.push_back(static_cast<char>('A' + k));
    }
    const char16_t c = units[i % std::size(units)];
    text.push_back(c);
    const std::string one = quoted(UStringView(&c, 1));
    expected += one.substr(1, one.size() - 2);
  }
  EXPECT_EQ(quoted(text), expected + "\"");
  EXPECT_EQ(quoted(u"abcdefghijklm" + UString(1, 0) + u"nopqrstuvwxyz"), R"("abcdefghijklm")");

  TJSONWriter w(false, false);
  MakeRef<TJSONString>(text)->AsJSONString(w);
  EXPECT_EQ(w.Utf8(), expected + "\"");
  EXPECT_EQ(w.ToString(), Utf8ToU(expected + "\""));
  EXPECT_EQ(w.TakeUtf8(), expected + "\"");
  EXPECT_EQ(w.Utf8(), "");  // taken: the writer starts over
}

// A text of megabytes, written into a block that grows many times: every piece lands where it
// belongs, also after the text has been taken and the writer starts over.
TEST(JsonWriter, TextsOfMegabytesAreWrittenWhole) {
  auto array = MakeRef<TJSONArray>();
  std::string expected = "[";
  for (int i = 0; i < 60000; ++i) {
    const std::string piece(static_cast<std::size_t>(i % 97), static_cast<char>('a' + i % 26));
    array->Add(MakeRef<TJSONString>(Utf8ToU(piece + "\u0142")));
    if (i > 0) expected += ',';
    expected.append("\"").append(piece).append("\\u0142\"");
  }
  expected += ']';
  ASSERT_GT(expected.size(), std::size_t{3} << 20);
  TJSONWriter w(false, false);
  array->AsJSONString(w);
  EXPECT_TRUE(w.Utf8() == expected);
  EXPECT_TRUE(w.TakeUtf8() == expected);
  array->AsJSONString(w);
  EXPECT_TRUE(w.Utf8() == expected);
}

// Texts of units below U+0100 are kept one byte per unit, others as UTF-16: a text is written
// alike either way (here: as the same text made wide by one more unit), as a string and as a name.
TEST(JsonWriter, NarrowAndWideTextsAreWrittenAlike) {
  std::mt19937 rng(7);
  const char16_t specials[] = {u'"', u'\\', 0x01, 0x1f, 0x7f, 0x80, 0xe9, 0xff, u'\n', u'\t', u'/'};
  // One unit to escape at every place of every length up to 17.
  for (std::size_t n = 1; n <= 17; ++n) {
    for (std::size_t at = 0; at < n; ++at) {
      for (const char16_t c : specials) {
        UString text(n, u'a');
        text[at] = c;
        const std::string narrow = Write(MakeRef<TJSONString>(text));
        ASSERT_EQ(narrow, Write(MakeRef<TJSONString>(text + u"\u0100")).substr(0, narrow.size() - 1) + "\"")
            << UToUtf8(text);
      }
    }
  }
  for (int round = 0; round < 3000; ++round) {
    UString text;
    for (std::size_t n = rng() % 70; n > 0; --n)
      text.push_back(rng() % 4 ? static_cast<char16_t>(u' ' + rng() % 95)
                               : specials[rng() % std::size(specials)]);
    const std::string narrow = Write(MakeRef<TJSONString>(text));
    const std::string wide = Write(MakeRef<TJSONString>(text + u"\u0100"));
    ASSERT_EQ(narrow.substr(0, narrow.size() - 1) + "\\u0100\"", wide) << UToUtf8(text);
    auto obj = MakeRef<TJSONObject>();
    obj->AddPair(text, MakeRef<TJSONInteger>(1));
    EXPECT_EQ(Write(obj), "{" + narrow + ":1}");
  }
}

TEST(JsonWriter, FloatTexts) {
  EXPECT_EQ(FloatToJSONText(123.5), "123.5");
  EXPECT_EQ(FloatToJSONText(0.0001), "0.0001");
  EXPECT_EQ(FloatToJSONText(0.00001), "1E-5");
  EXPECT_EQ(FloatToJSONText(999999999999999.0), "999999999999999");
  EXPECT_EQ(FloatToJSONText(1e15), "1E15");
  EXPECT_EQ(FloatToJSONText(-2.5e20), "-2.5E20");
  EXPECT_EQ(FloatToJSONText(1.5e-7), "1.5E-7");
  EXPECT_EQ(FloatToJSONText(2.0), "2");
  EXPECT_EQ(FloatToJSONText(0.0), "0");
  EXPECT_EQ(FloatToJSONText(-0.125), "-0.125");
  EXPECT_EQ(FloatToJSONText(0.1 + 0.2), "0.3");  // 15 significant digits
  EXPECT_EQ(FloatToJSONText(123456789012345678.0), "1.23456789012346E17");
  EXPECT_EQ(FloatToJSONText(std::nan("")), "NAN");
  EXPECT_EQ(FloatToJSONText(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(FloatToJSONText(-std::numeric_limits<double>::infinity()), "-INF");
}

TEST(JsonWriter, FloatTextsHaveFifteenCorrectlyRoundedDigits) {
  // The C library's %.15g has the same digits and the same switch to the exponent form.
  auto expected = [](double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string text = buf;
    const std::size_t e = text.find('e');
    if (e == std::string::npos) return text;
    return text.substr(0, e) + "E" + std::to_string(std::stoi(text.substr(e + 1)));
  };
  std::mt19937_64 rng(7);
  for (int i = 0; i < 200000; ++i) {
    double v;
    const std::uint64_t bits = rng();
    if (i % 2 == 0) {
      std::memcpy(&v, &bits, sizeof v);  // any double, subnormals included
      if (!std::isfinite(v) || v == 0) continue;
    } else {
      // Values with few digits, as documents hold them, and their neighbours.
      v = static_cast<double>(static_cast<std::int64_t>(bits % 2000000) - 1000000) /
          std::pow(10.0, bits % 23);
      if (i % 4 == 1) v = std::nextafter(v, 1e300);
    }
    ASSERT_EQ(FloatToJSONText(v), expected(v)) << i;
  }
}

TEST(JsonWriter, DatesInLocalAndUniversalForm) {
  ScopedTimeZone tz(kCentralEurope);
  auto obj = MakeRef<TJSONObject>();
  obj->AddPair(u"dt", MakeRef<TJSONDateTime>(DT(2022, 11, 21, 9, 7, 34, 120)));
  obj->AddPair(u"d", MakeRef<TJSONDate>(DT(2022, 11, 21)));
  obj->AddPair(u"t", MakeRef<TJSONTime>(*TryEncodeTime(9, 7, 34, 120)));
  EXPECT_EQ(Write(obj), R"({"dt":"2022-11-21T09:07:34.120","d":"2022-11-21","t":"09:07:34.120"})");
  EXPECT_EQ(Write(obj, false, true),
            R"({"dt":"2022-11-21T08:07:34.120Z","d":"2022-11-20Z","t":"08:07:34.120Z"})");
  // Summer time moves by two hours; the repeated hour counts as standard time.
  EXPECT_EQ(Write(MakeRef<TJSONDateTime>(DT(2022, 7, 1, 12)), false, true), R"("2022-07-01T10:00:00.000Z")");
  EXPECT_EQ(Write(MakeRef<TJSONDateTime>(DT(2022, 10, 30, 2, 30)), false, true),
            R"("2022-10-30T01:30:00.000Z")");
}

TEST(JsonWriter, StandardDateFormatsAreWrittenAsTheFormatterGivesThem) {
  // Values in the standard formats are written without reading the format; the general
  // formatter, given the format, must agree over the whole range, before 1899 included.
  ScopedTimeZone tz(kCentralEurope);
  const double first = *TryEncodeDate(1, 1, 2), last = *TryEncodeDate(9999, 12, 30);
  for (double v = first; v < last; v += 3652.4375 + 0.0123456789) {
    for (const bool utc : {false, true}) {
      auto expect = [&](std::u16string_view format) {
        return "\"" + UToUtf8(FormatDateTime(format, utc ? LocalToUtc(v) : v)) + (utc ? "Z\"" : "\"");
      };
      EXPECT_EQ(Write(MakeRef<TJSONDateTime>(v), false, utc), expect(kDateTimeFormat)) << v;
      EXPECT_EQ(Write(MakeRef<TJSONDate>(v), false, utc), expect(kDateFormat)) << v;
      EXPECT_EQ(Write(MakeRef<TJSONTime>(v), false, utc), expect(kTimeFormat)) << v;
    }
  }
}

TEST(JsonWriter, SkippedLocalHourCannotBeWrittenAsUniversalTime) {
  ScopedTimeZone tz(kCentralEurope);
  auto arr = MakeRef<TJSONArray>();
  arr->Add(MakeRef<TJSONDateTime>(DT(2022, 3, 27, 2, 30)));
  EXPECT_THROW((void)Write(arr, false, true), ELocalTimeInvalid);
  EXPECT_EQ(Write(arr), R"(["2022-03-27T02:30:00.000"])");
}

TEST(JsonWriter, DatesOutsideTheYearsOfFourDigitsAreRefused) {
  ScopedTimeZone tz(kCentralEurope);
  EXPECT_EQ(Write(MakeRef<TJSONDate>(DT(9999, 12, 31))), R"("9999-12-31")");
  // Before 1899-12-30 the fraction counts forward from the day: build the value on the time line.
  auto firstDay = [](int minutes) {
    return MSecsToDateTime(DateTimeToMSecs(*TryEncodeDate(1, 1, 1)) + minutes * 60000LL);
  };
  EXPECT_EQ(Write(MakeRef<TJSONDateTime>(firstDay(12 * 60))), R"("0001-01-01T12:00:00.000")");
  for (const double bad : {*TryEncodeDate(9999, 12, 31) + 1, *TryEncodeDate(1, 1, 1) - 1, 1e300,
                           std::numeric_limits<double>::quiet_NaN()}) {
    auto arr = MakeRef<TJSONArray>();
    arr->Add(MakeRef<TJSONDateTime>(bad));
    EXPECT_THROW((void)Write(arr), EJSONError) << bad;
  }
  // Moving to UTC may leave the range too.
  EXPECT_THROW((void)Write(MakeRef<TJSONDateTime>(firstDay(30)), false, true), EJSONError);
}

TEST(JsonWriter, SaveToWritesUtf8WithoutMark) {
  vx::test::TempDir dir;
  auto doc = JO(uR"({"a":"\u0142"})");
  ASSERT_TRUE(doc->SaveTo(dir / "out.json", true, false));
  EXPECT_EQ(vx::test::ReadFile(dir / "out.json"), "{\r\n  \"a\":\"\\u0142\"\r\n}");
  EXPECT_FALSE(doc->SaveTo(dir / "missing" / "out.json"));
}

}  // namespace
}  // namespace vx::json::test
