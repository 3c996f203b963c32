#include "platform/time_zone.h"

#include <time.h>

#include <array>

namespace vx::platform {

namespace {
struct Probe {
  std::int64_t offset;
  bool dst;
};

Probe ProbeUtc(std::int64_t utcSeconds) {
  time_t t = static_cast<time_t>(utcSeconds);
  struct tm tm {};
  if (localtime_r(&t, &tm) == nullptr) return {0, false};
  return {tm.tm_gmtoff, tm.tm_isdst > 0};
}
}  // namespace

std::int64_t UtcOffsetAtUtc(std::int64_t utcSeconds) {
  tzset();  // pick up a changed TZ
  return ProbeUtc(utcSeconds).offset;
}

std::optional<std::int64_t> UtcOffsetAtLocal(std::int64_t localSeconds) {
  tzset();
  // Every offset in effect within a day of this wall-clock time is a candidate; a candidate is
  // right when the instant it gives shows the same wall clock again.
  const std::array<std::int64_t, 3> probes = {localSeconds - 86400, localSeconds, localSeconds + 86400};
  std::optional<Probe> found;
  for (std::int64_t p : probes) {
    const Probe candidate = ProbeUtc(p);
    const Probe check = ProbeUtc(localSeconds - candidate.offset);
    if (check.offset != candidate.offset) continue;
    // Two valid readings (the repeated hour): standard time wins.
    if (!found || (found->dst && !check.dst)) found = check;
  }
  if (!found) return std::nullopt;
  return found->offset;
}

}  // namespace vx::platform
