#include "platform/time_zone.h"

#include <time.h>

#include <array>
#include <cstdlib>
#include <string>

namespace vx::platform {

namespace {
struct Probe {
  std::int64_t offset;
  bool dst;
};

// 400 Gregorian years: the calendar, weekdays included, repeats after this many seconds.
constexpr std::int64_t kCycleSeconds = 146097LL * 86400;
// 2200-01-01 00:00 UTC: past the last transition of every zone's table, where the database's
// present rules (the rule string at the end of each zone file) are in force.
constexpr std::int64_t kPresentRulesFrom = 7258118400LL;

// Instants before 1970 are moved by whole 400-year cycles into the span of the present rules,
// so that they take the offset those rules give for the same calendar date. The database's
// offsets of earlier times (local mean time, wartime rules) are never used.
std::int64_t UnderPresentRules(std::int64_t seconds) {
  if (seconds >= 0) return seconds;
  const std::int64_t cycles = (kPresentRulesFrom - seconds + kCycleSeconds - 1) / kCycleSeconds;
  return seconds + cycles * kCycleSeconds;
}

// Re-reads the zone only when TZ has changed since the last call: tzset() looks at the zone
// file each time it runs, and the conversions come once per date in a document.
void RefreshZone() {
  static bool loaded = false;
  static bool hadTz = false;
  static std::string lastTz;
  const char* tz = std::getenv("TZ");
  if (loaded && hadTz == (tz != nullptr) && (tz == nullptr || lastTz == tz)) return;
  tzset();
  loaded = true;
  hadTz = tz != nullptr;
  lastTz = tz ? tz : "";
}

Probe ProbeUtc(std::int64_t utcSeconds) {
  time_t t = static_cast<time_t>(UnderPresentRules(utcSeconds));
  struct tm tm {};
  if (localtime_r(&t, &tm) == nullptr) return {0, false};
  return {tm.tm_gmtoff, tm.tm_isdst > 0};
}
}  // namespace

std::int64_t UtcOffsetAtUtc(std::int64_t utcSeconds) {
  RefreshZone();
  return ProbeUtc(utcSeconds).offset;
}

std::optional<std::int64_t> UtcOffsetAtLocal(std::int64_t localSeconds) {
  RefreshZone();
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
