#pragma once
// Date-time arithmetic on TDateTime (days since 1899-12-30, fraction = time of day), the
// date formatter used by the writer, and moves between local time and UTC.
#include <cstdint>
#include <optional>

#include "core/ustring.h"
#include "json/model/variant.h"

namespace vx::json {

inline constexpr std::int64_t kMSecsPerDay = 86400000;

struct TDateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, MSec = 0;
};

// Valid calendar date (year 1..9999)?
[[nodiscard]] bool IsValidDate(int year, int month, int day);
[[nodiscard]] std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
[[nodiscard]] std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int msec);
// The milliseconds since midnight of a valid time of day.
[[nodiscard]] std::optional<std::int64_t> TryTimeMSecs(int hour, int minute, int second, int msec);
[[nodiscard]] TDateTimeParts DecodeDateTime(TDateTime value);
// The same for a millisecond count since 1899-12-30 (see DateTimeToMSecs).
[[nodiscard]] TDateTimeParts DecodeMSecs(std::int64_t msecs);

// Milliseconds since 1899-12-30 00:00 on a straight time line, and back (a negative date-time
// keeps its time of day in the absolute value of the fraction).
[[nodiscard]] std::int64_t DateTimeToMSecs(TDateTime value);
[[nodiscard]] TDateTime MSecsToDateTime(std::int64_t msecs);

// Whether the value lies in the years 0001 to 9999 (the only ones a four-digit year can show).
[[nodiscard]] bool InDateRange(TDateTime value);
// The millisecond count of a value in those years; nullopt outside them.
[[nodiscard]] std::optional<std::int64_t> DateRangeMSecs(TDateTime value);
// Formats with a pattern of yyyy/yy, m/mm (minutes after h/hh), d/dd, h/hh, n/nn, s/ss, z/zzz and
// quoted literals ("..." or '...'); every other character is copied. A value outside the years
// 0001 to 9999 raises EJSONError.
[[nodiscard]] UString FormatDateTime(UStringView format, TDateTime value);

// Moves a UTC date-time to local time (offset of the TZ database at that instant).
[[nodiscard]] TDateTime UtcToLocal(TDateTime utc);
// The same on a millisecond count since 1899-12-30 (see DateTimeToMSecs).
[[nodiscard]] std::int64_t UtcToLocalMSecs(std::int64_t utcMSecs);
// Moves a local date-time to UTC. A time in the repeated hour is taken as standard time; a time
// in the skipped hour raises ELocalTimeInvalid.
[[nodiscard]] TDateTime LocalToUtc(TDateTime local);

}  // namespace vx::json
