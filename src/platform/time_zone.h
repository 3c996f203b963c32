#pragma once
// The local time zone as the TZ database describes it (TZ environment variable honoured).
// Times are whole seconds counted from 1970-01-01 00:00: "local seconds" count on the local
// wall clock, "UTC seconds" on the universal one. Instants before 1970 take the offset that the
// zone's present rules give for their calendar date (no local mean time, no historic rules).
#include <cstdint>
#include <optional>

namespace vx::platform {

// Offset of local time from UTC in seconds (east of Greenwich positive) at a UTC instant.
[[nodiscard]] std::int64_t UtcOffsetAtUtc(std::int64_t utcSeconds);

// Offset in effect at a local wall-clock time. A time in the hour repeated when daylight saving
// ends is taken as standard time; a time in the hour skipped when it starts has no offset.
[[nodiscard]] std::optional<std::int64_t> UtcOffsetAtLocal(std::int64_t localSeconds);

}  // namespace vx::platform
