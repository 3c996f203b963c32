#include "json/dates/date_time.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "json/model/errors.h"
#include "platform/time_zone.h"

namespace vx::json {

namespace {
constexpr std::int64_t kUnixEpochDays = 25569;  // 1970-01-01 as a date-time

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeap(y)) ? 29 : kDays[m - 1];
}

// Days from 0001-01-01 to the given date (proleptic Gregorian).
std::int64_t DayNumber(int y, int m, int d) {
  static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const std::int64_t py = y - 1;
  const std::int64_t days = py * 365 + py / 4 - py / 100 + py / 400 + kDaysBefore[m - 1];
  return days + (m > 2 && IsLeap(y) ? 1 : 0) + d - 1;
}

constexpr std::int64_t kDayNumber18991230 = 693593;   // DayNumber(1899, 12, 30)
constexpr std::int64_t kDayNumber99991231 = 2958465;  // 9999-12-31 as a date-time

void AppendNumber(UString& out, int value, int width) {
  char buf[16];
  int n = 0;
  unsigned v = static_cast<unsigned>(value < 0 ? -value : value);
  do {
    buf[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (value < 0) out.push_back(u'-');
  for (int i = n; i < width; ++i) out.push_back(u'0');
  while (n > 0) out.push_back(static_cast<char16_t>(buf[--n]));
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Whole seconds since 1970-01-01 of a millisecond count since 1899-12-30.
std::int64_t UnixSeconds(std::int64_t ms) {
  return FloorDiv(ms - kUnixEpochDays * kMSecsPerDay, 1000);
}

char16_t Lower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

}  // namespace

std::optional<TDateTime> TryEncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;
  return static_cast<TDateTime>(DayNumber(year, month, day) - kDayNumber18991230);
}

std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int msec) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return std::nullopt;
  return static_cast<TDateTime>(((hour * 60LL + minute) * 60 + second) * 1000 + msec) / kMSecsPerDay;
}

std::int64_t DateTimeToMSecs(TDateTime value) {
  const std::int64_t total = std::llround(value * kMSecsPerDay);
  const std::int64_t days = total / kMSecsPerDay;  // truncates toward zero
  const std::int64_t time = (total < 0 ? -total : total) % kMSecsPerDay;
  return days * kMSecsPerDay + time;
}

TDateTime MSecsToDateTime(std::int64_t msecs) {
  std::int64_t days = msecs / kMSecsPerDay;
  std::int64_t time = msecs % kMSecsPerDay;
  if (time < 0) {
    time += kMSecsPerDay;
    --days;
  }
  const double fraction = static_cast<double>(time) / kMSecsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  const std::int64_t ms = DateTimeToMSecs(value);
  TDateTimeParts p;
  std::int64_t days = ms / kMSecsPerDay;
  std::int64_t signedTime = ms % kMSecsPerDay;
  if (signedTime < 0) {
    signedTime += kMSecsPerDay;
    --days;
  }
  // Civil date from the day number (days since 0001-01-01; days before it read as 0001-01-01,
  // days after 9999-12-31 as that day), counting years from 1 March so that a leap day ends its
  // year: a year of 400-year eras, a month of five-month runs of 153 days. Every count fits in
  // 32 unsigned bits, whose divisions by constants are the cheapest.
  const auto z = static_cast<std::uint32_t>(
      std::clamp<std::int64_t>(days + kDayNumber18991230, 0, kDayNumber99991231 + kDayNumber18991230) +
      306);  // since 0000-03-01
  const std::uint32_t era = z / 146097;
  const std::uint32_t dayOfEra = z - era * 146097;
  const std::uint32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::uint32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::uint32_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  p.Day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  p.Month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  p.Year = static_cast<int>(yearOfEra + era * 400 + (p.Month <= 2 ? 1 : 0));
  const auto time = static_cast<std::uint32_t>(signedTime);
  p.Hour = static_cast<int>(time / 3600000);
  p.Minute = static_cast<int>(time / 60000 % 60);
  p.Second = static_cast<int>(time / 1000 % 60);
  p.MSec = static_cast<int>(time % 1000);
  return p;
}

UString FormatDateTime(UStringView format, TDateTime value) {
  // Only the years 0001 to 9999 can be shown with four digits.
  const std::int64_t ms =
      std::isfinite(value) && std::fabs(value) <= 3e6 ? DateTimeToMSecs(value) : INT64_MIN;
  if (ms < -kDayNumber18991230 * kMSecsPerDay || ms >= (kDayNumber99991231 + 1) * kMSecsPerDay) {
    throw EJSONError(u"The date-time value " + UString(Utf8ToU(std::to_string(value))) +
                     u" lies outside the years 0001 to 9999");
  }
  const TDateTimeParts p = DecodeDateTime(value);
  UString out;
  bool lastWasHour = false;
  size_t i = 0;
  while (i < format.size()) {
    const char16_t c = format[i];
    if (c == u'"' || c == u'\'') {
      size_t end = format.find(c, i + 1);
      if (end == UStringView::npos) end = format.size();
      out.append(format.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    size_t run = 1;
    while (i + run < format.size() && Lower(format[i + run]) == Lower(c)) ++run;
    switch (Lower(c)) {
      case u'y':
        if (run <= 2) {
          AppendNumber(out, p.Year % 100, 2);
        } else {
          AppendNumber(out, p.Year, 4);
        }
        lastWasHour = false;
        break;
      case u'm':
        AppendNumber(out, lastWasHour ? p.Minute : p.Month, run >= 2 ? 2 : 1);
        lastWasHour = false;
        break;
      case u'd':
        AppendNumber(out, p.Day, run >= 2 ? 2 : 1);
        lastWasHour = false;
        break;
      case u'h':
        AppendNumber(out, p.Hour, run >= 2 ? 2 : 1);
        lastWasHour = true;
        break;
      case u'n':
        AppendNumber(out, p.Minute, run >= 2 ? 2 : 1);
        lastWasHour = false;
        break;
      case u's':
        AppendNumber(out, p.Second, run >= 2 ? 2 : 1);
        lastWasHour = false;
        break;
      case u'z':
        AppendNumber(out, p.MSec, run >= 3 ? 3 : 1);
        lastWasHour = false;
        break;
      default:
        out.append(run, c);
        break;
    }
    i += run;
  }
  return out;
}

TDateTime UtcToLocal(TDateTime utc) {
  const std::int64_t ms = DateTimeToMSecs(utc);
  return MSecsToDateTime(ms + platform::UtcOffsetAtUtc(UnixSeconds(ms)) * 1000);
}

TDateTime LocalToUtc(TDateTime local) {
  const std::int64_t ms = DateTimeToMSecs(local);
  const std::int64_t seconds = UnixSeconds(ms);
  const std::optional<std::int64_t> offset = platform::UtcOffsetAtLocal(seconds);
  if (!offset) {
    throw ELocalTimeInvalid(u"The local time " + FormatDateTime(u"yyyy-mm-dd hh:nn:ss", local) +
                            u" is invalid: it lies in the hour skipped when daylight saving time starts");
  }
  return MSecsToDateTime(ms - *offset * 1000);
}

}  // namespace vx::json
