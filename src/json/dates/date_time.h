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

// A valid calendar date (years 1..9999) and a valid time of day; nullopt for others.
[[nodiscard]] std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
[[nodiscard]] std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int msec);
[[nodiscard]] TDateTimeParts DecodeDateTime(TDateTime value);

// Milliseconds since 1899-12-30 00:00 on a straight time line, and back (a negative date-time
// keeps its time of day in the absolute value of the fraction).
[[nodiscard]] std::int64_t DateTimeToMSecs(TDateTime value);
[[nodiscard]] TDateTime MSecsToDateTime(std::int64_t msecs);

// Formats with a pattern of yyyy/yy, m/mm (minutes after h/hh), d/dd, h/hh, n/nn, s/ss, z/zzz and
// quoted literals ("..." or '...'); every other character is copied. A value outside the years
// 0001 to 9999 raises EJSONError.
[[nodiscard]] UString FormatDateTime(UStringView format, TDateTime value);

// Moves a UTC date-time to local time (offset of the TZ database at that instant).
[[nodiscard]] TDateTime UtcToLocal(TDateTime utc);
// Moves a local date-time to UTC. A time in the repeated hour is taken as standard time; a time
// in the skipped hour raises ELocalTimeInvalid.
[[nodiscard]] TDateTime LocalToUtc(TDateTime local);

}  // namespace vx::json
