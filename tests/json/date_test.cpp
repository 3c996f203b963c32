// ISO 8601 recognition under zones with daylight saving, and the date casts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "date_expression.h"
#include "json/dates/recognition.h"
#include "json_test_util.h"

namespace vx::json::test {
namespace {

struct Zone {
  const char* tz;
  int winterMinutes;  // UTC offset in November
  int summerMinutes;  // UTC offset in July
};

class DateRecognition : public ::testing::TestWithParam<Zone> {
 protected:
  ScopedTimeZone FZone{GetParam().tz};

  static TDateTime Shift(TDateTime v, int minutes) {
    return MSecsToDateTime(DateTimeToMSecs(v) + minutes * 60000LL);
  }
  static std::pair<TDataType, std::string> Recognise(std::u16string_view text) {
    TDateTime value = 0;
    TDataType kind = dtNil;
    if (!TJSONDateManager::Instance().Check(text, value, kind)) return {dtNil, "not a date"};
    return {kind, Fmt(value)};
  }
};

TEST_P(DateRecognition, AcceptedTexts) {
  const int w = GetParam().winterMinutes;
  const TDateTime day = DT(2022, 11, 21);
  const TDateTime noTime = DT(1899, 12, 30);
  const std::pair<TDataType, std::string> expected[] = {
      {dtDate, Fmt(day)},
      {dtDateTime, Fmt(DT(2022, 11, 21, 9, 7, 34))},
      {dtDateTime, Fmt(Shift(DT(2022, 11, 21, 9, 7, 34), w))},
      {dtDateTime, Fmt(DT(2022, 11, 21, 9, 7, 34, 5))},  // ".5" is five milliseconds
      {dtDateTime, Fmt(Shift(DT(2022, 11, 21, 9, 7, 34, 123), w))},
      {dtDateTime, Fmt(Shift(DT(2022, 11, 21, 9, 7, 34), w - 120))},
      {dtDateTime, Fmt(Shift(DT(2022, 11, 21, 9, 7, 34), w + 330))},
      {dtTime, Fmt(DT(1899, 12, 30, 9, 7, 34))},
      {dtTime, Fmt(DT(1899, 12, 30, 9, 7, 34, 123))},
      {dtTime, Fmt(Shift(DT(1899, 12, 30, 9, 7, 34), w))},
      {dtTime, Fmt(Shift(DT(1899, 12, 30, 9, 7, 34), w - 60))},
      {dtDateTime, Fmt(Shift(DT(2022, 11, 21, 9, 7, 34, 123), w + 330))},
      {dtDateTime, Fmt(Shift(DT(2022, 7, 1, 12), GetParam().summerMinutes))},
      {dtTime, Fmt(Shift(noTime, 600))},  // invalid date, valid time: a time alone
  };
  const std::u16string_view texts[] = {u"2022-11-21",
                                       u"2022-11-21T09:07:34",
                                       u"2022-11-21T09:07:34Z",
                                       u"2022-11-21T09:07:34.5",
                                       u"2022-11-21T09:07:34.123Z",
                                       u"2022-11-21T09:07:34+02:00",
                                       u"2022-11-21T09:07:34-05:30",
                                       u"09:07:34",
                                       u"09:07:34.123",
                                       u"09:07:34Z",
                                       u"09:07:34+01:00",
                                       u"2022-11-21T09:07:34.123-05:30",
                                       u"2022-07-01T12:00:00Z",
                                       u"2022-02-30T10:00:00"};
  for (size_t i = 0; i < std::size(texts); ++i) {
    EXPECT_EQ(Recognise(texts[i]), expected[i]) << UToUtf8(texts[i]);
  }
}

TEST_P(DateRecognition, RefusedTextsStayStrings) {
  for (std::u16string_view text :
       {u"2022-11-21T09:07", u"20221121", u"2022-11-21 09:07:34", u"2022-11-21t09:07:34",
        u"2022-11-21T09:07:34z", u"2022-11-21T09:07:34+0200", u"2022-11-21T25:00:00", u"2022-02-30",
        u"2022-13-01", u"2022-11-21T09:07:34.123+02:00", u"x2022-11-21", u"2022-11-21 2022-11-21",
        u"12345"}) {
    UString quoted(u"\"");
    quoted.append(text).append(u"\"");
    auto v = Parse(quoted);
    EXPECT_EQ(v->GetDataType(), dtString) << UToUtf8(text);
  }
  // The recogniser accepts an impossible date as valid text that holds no date.
  EXPECT_EQ(Recognise(u"2022-02-30").first, dtNil);
  EXPECT_EQ(Recognise(u"1234").second, "not a date");
}

TEST_P(DateRecognition, ReaderTestsOnlyFiveToTwentyFiveCharacters) {
  // 24 characters: tested; 26: stays a string although the recogniser would accept it.
  EXPECT_EQ(Parse(u"\"2022-11-21T09:07:34.123Z\"")->GetDataType(), dtDateTime);
  EXPECT_EQ(Parse(u"\"2022-11-21T09:07:34.123-05:30\"")->GetDataType(), dtString);
  EXPECT_EQ(Recognise(u"2022-11-21T09:07:34.123-05:30").first, dtDateTime);
  EXPECT_EQ(Parse(u"\"2022-11-21\"", false)->GetDataType(), dtString);
  // Round trip: written back in local form.
  EXPECT_EQ(Write(Parse(u"[\"2022-11-21\",\"09:07:34.5\"]")), R"(["2022-11-21","09:07:34.005"])");
}

// The library matches the date expression by hand: on every combination of the pieces of date
// texts, valid or not, with blanks around and inside, its groups must be PCRE2's, and a text
// without one covering match must have none.
TEST(DateRecognition, MatchesTheExpressionAsPcre2Does) {
  const std::u16string_view dates[] = {u"",           u"2022-11-21", u"2022-13-01", u"2022-02-30",
                                       u"0000-01-01", u"2022-1-01",  u"12345",      u"9999-12-31"};
  const std::u16string_view clocks[] = {u"",           u"T09:07:34", u"09:07:34", u"T25:00:00", u"T09:07",
                                        u"T09:07:34:", u"T23:59:59", u"00:00:00", u"9:07:34"};
  const std::u16string_view zs[] = {u"", u"Z", u"ZZ"};
  const std::u16string_view fractions[] = {u"", u".5", u".123", u".1234", u".", u".12Z", u".Z"};
  const std::u16string_view offsets[] = {u"",        u"+02:00", u"-05:30", u"+0200", u"+02:0",
                                         u"+02:00Z", u"-",      u"+99:99", u"-12:59"};
  const std::u16string_view blanks[] = {u"", u" ", u"\t\n"};
  int dateTexts = 0;
  for (auto d : dates)
    for (auto c : clocks)
      for (auto z : zs)
        for (auto f : fractions)
          for (auto o : offsets) {
            const UString core = UString(d) + UString(c) + UString(z) + UString(f) + UString(o);
            for (const UString& text :
                 {core, UString(blanks[core.size() % 3]) + core + u" ",
                  core.substr(0, core.size() / 2) + u" " + core.substr(core.size() / 2)}) {
              const TISO8601 test(text);
              const auto groups = testing::ExpressionGroups(text);
              dateTexts += groups ? 1 : 0;
              for (int g = 1; g <= TISO8601::kGroupCount; ++g) {
                const std::string expected = groups ? UToUtf8((*groups)[g]) : "";
                ASSERT_EQ(UToUtf8(test.GroupText(g)), expected) << UToUtf8(text) << " group " << g;
              }
              EXPECT_TRUE(groups || !test.Success()) << UToUtf8(text);
            }
          }
  EXPECT_GT(dateTexts, 1000);
  // And on random texts of the characters dates are made of.
  std::mt19937 rng(20221121);
  constexpr char16_t kUnits[] = u"0123456789-:TZ.+ 12";
  for (int round = 0; round < 50000; ++round) {
    UString text;
    for (std::size_t n = 1 + rng() % 25; n > 0; --n) text.push_back(kUnits[rng() % (std::size(kUnits) - 1)]);
    const TISO8601 test(text);
    const auto groups = testing::ExpressionGroups(text);
    for (int g = 1; g <= TISO8601::kGroupCount; ++g) {
      const std::string expected = groups ? UToUtf8((*groups)[g]) : "";
      ASSERT_EQ(UToUtf8(test.GroupText(g)), expected) << UToUtf8(text) << " group " << g;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Zones, DateRecognition,
                         ::testing::Values(Zone{kCentralEurope, 60, 120}, Zone{kUsEastern, -300, -240},
                                           Zone{kEasternEurope, 120, 180}, Zone{"Europe/Warsaw", 60, 120},
                                           Zone{"Europe/Amsterdam", 60, 120}, Zone{"Asia/Kolkata", 330, 330},
                                           Zone{"America/New_York", -300, -240}));

// Instants before the zone's modern rules (time values sit on 1899-12-30) take the offset the
// present rules give for that calendar date, never the database's local mean time.
TEST(DateRecognition, OldInstantsTakeThePresentRulesOfTheirDate) {
  {
    ScopedTimeZone tz("Europe/Warsaw");
    auto v = Parse(u"[\"09:07:34Z\",\"09:07:34+01:00\",\"1950-07-01T12:00:00Z\",\"1899-01-15T12:00:00Z\"]");
    EXPECT_EQ(Write(v),
              R"(["10:07:34.000","09:07:34.000","1950-07-01T14:00:00.000","1899-01-15T13:00:00.000"])");
    auto local = Parse(u"[\"09:07:34\",\"1950-07-01T14:00:00\",\"0001-01-01T12:00:00\"]");
    EXPECT_EQ(Write(local, false, true),
              R"(["08:07:34.000Z","1950-07-01T12:00:00.000Z","0001-01-01T11:00:00.000Z"])");
  }
  {
    ScopedTimeZone tz("America/New_York");
    EXPECT_EQ(Write(Parse(u"[\"09:07:34Z\",\"1960-07-04T12:00:00Z\"]")),
              R"(["04:07:34.000","1960-07-04T08:00:00.000"])");
  }
  {
    ScopedTimeZone tz("Asia/Kolkata");
    EXPECT_EQ(Write(Parse(u"[\"09:07:34Z\"]")), R"(["14:37:34.000"])");
  }
  {
    ScopedTimeZone tz("Europe/Amsterdam");
    EXPECT_EQ(Write(Parse(u"[\"09:07:34\"]"), false, true), R"(["08:07:34.000Z"])");
  }
}

TEST(DateRecognition, UtcTextTwoHoursEastIsReadAndWrittenAsLocalTime) {
  ScopedTimeZone tz(kEasternEurope);
  auto v = Parse(u"\"2022-11-21T09:07:34Z\"");
  EXPECT_EQ(Write(v), R"("2022-11-21T11:07:34.000")");
  EXPECT_EQ(Write(v, false, true), R"("2022-11-21T09:07:34.000Z")");
}

TEST(DateRecognition, DatesAfter2038KeepTheirZoneOffsets) {
  // Local time past 2038-01-19 needs a 64-bit time_t (the 32-bit build sets _TIME_BITS=64).
  ScopedTimeZone tz(kCentralEurope);
  EXPECT_EQ(Write(Parse(u"\"2038-01-19T03:14:08Z\"")), R"("2038-01-19T04:14:08.000")");
  EXPECT_EQ(Write(Parse(u"\"2100-07-01T12:00:00Z\"")), R"("2100-07-01T14:00:00.000")");
  EXPECT_EQ(Write(Parse(u"\"2100-07-01T14:00:00\""), false, true), R"("2100-07-01T12:00:00.000Z")");
}

TEST(DateParts, EveryDayOfTheYears0001To9999DecodesToTheDateItEncodes) {
  const TDateTime first = *TryEncodeDate(1, 1, 1), last = *TryEncodeDate(9999, 12, 31);
  for (TDateTime day = first; day <= last; day += 1) {
    // Negative values keep their time apart from the day (-1.25 is 1899-12-29 06:00).
    const TDateTimeParts p = DecodeDateTime(day + (day < 0 ? -0.75 : 0.75));
    ASSERT_EQ(TryEncodeDate(p.Year, p.Month, p.Day), day) << p.Year << "-" << p.Month << "-" << p.Day;
    ASSERT_EQ(p.Hour, 18);
  }
  // Days before 0001-01-01 read as that day.
  EXPECT_EQ(DecodeDateTime(first - 3).Year, 1);
  EXPECT_EQ(DecodeDateTime(first - 3).Day, 1);
}

// A date-time's millisecond count is its day count times a day rounded as llround does (to the
// nearest, halves away from zero; a negative value keeps its time of day apart from the day),
// also at halves and far out of range; and every count of the years 0001 to 9999 survives the
// way through a date-time value.
TEST(DateParts, MillisecondCountsRoundLikeLlroundAndSurviveTheRoundTrip) {
  const auto reference = [](TDateTime value) {
    const std::int64_t total = std::llround(value * kMSecsPerDay);
    return total / kMSecsPerDay * kMSecsPerDay + (total < 0 ? -total : total) % kMSecsPerDay;
  };
  // Stored values: on x87 a value kept in a register would carry more precision than a double.
  static const std::vector<TDateTime> values = [] {
    std::vector<TDateTime> v;
    for (const double count : {0.5, -0.5, 2.5, -2.5, 0.49999999999999994, -0.49999999999999994, 1e15 + 0.5,
                               4503599627370495.5, -4503599627370495.5, 1e17, -1e17})
      v.push_back(count / kMSecsPerDay);
    return v;
  }();
  for (const TDateTime value : values) EXPECT_EQ(DateTimeToMSecs(value), reference(value)) << value;
  const std::int64_t first = DateTimeToMSecs(*TryEncodeDate(1, 1, 1));
  const std::int64_t last = DateTimeToMSecs(*TryEncodeDate(9999, 12, 31)) + kMSecsPerDay - 1;
  std::uint64_t state = 12345;
  for (int i = 0; i < 2'000'000; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const std::int64_t ms =
        first + static_cast<std::int64_t>((state >> 11) % static_cast<std::uint64_t>(last - first));
    ASSERT_EQ(DateTimeToMSecs(MSecsToDateTime(ms)), ms);
  }
}

TEST(DateCast, JsDateToDateTime) {
  EXPECT_EQ(VxJSDateToDateTime(u"2022-11-21T09:07:34Z"), DT(2022, 11, 21, 9, 7, 34));
  EXPECT_EQ(VxJSDateToDateTime(u"2022-11-21T09:07:34-05:30"), DT(2022, 11, 21, 9, 7, 34));
  EXPECT_EQ(VxJSDateToDateTime(u"2022-11-21T09:07:34+02:00"), 0.0);
  EXPECT_EQ(VxJSDateToDateTime(u"2022-11-21"), DT(2022, 11, 21));
  EXPECT_EQ(VxJSDateToDateTime(u"rubbish"), 0.0);
  EXPECT_EQ(VxJSDateToDateTime(u""), 0.0);
}

TEST(DateCast, CastDateTime) {
  TVariant out;
  ASSERT_TRUE(VxCastDateTime(TVariant::Double(44886.5), out));
  EXPECT_EQ(out.VarType(), varDate);
  EXPECT_EQ(Fmt(out.AsDouble()), "2022-11-21 12:00:00.000");
  // Date and time values reach a member exactly (their variants are numbers)...
  ScopedTimeZone tz(kCentralEurope);
  auto obj = Parse(u"{\"d\":\"2022-11-21\",\"dt\":\"2022-11-21T09:07:34.123\"}");
  auto o = RefCast<TJSONObject>(obj);
  ASSERT_TRUE(VxCastDateTime(o->Get(u"d")->GetValue()->GetAsVariant(), out));
  EXPECT_EQ(out.AsDouble(), DT(2022, 11, 21));
  // ...a date-time takes the text route and loses its milliseconds.
  ASSERT_TRUE(VxCastDateTime(o->Get(u"dt")->GetValue()->GetAsVariant(), out));
  EXPECT_EQ(Fmt(out.AsDouble()), "2022-11-21 09:07:34.000");
  ASSERT_TRUE(VxCastDateTime(TVariant::String(u"2022-11-21T09:07:34Z"), out));
  EXPECT_EQ(out.AsDouble(), DT(2022, 11, 21, 9, 7, 34));
  EXPECT_FALSE(VxCastDateTime(TVariant::Null(), out));
}

}  // namespace
}  // namespace vx::json::test
