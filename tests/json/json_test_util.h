#pragma once
// Helpers shared by the JSON tests.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "core/ustring.h"
#include "json/dates/date_time.h"
#include "json/model/documents.h"
#include "json/model/values.h"
#include "json/write/writer.h"

namespace vx::json::test {

// Sets TZ for the lifetime of the object and restores the previous value.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) FOld = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (FOld) {
      setenv("TZ", FOld->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> FOld;
};

inline constexpr char kCentralEurope[] = "CET-1CEST,M3.5.0,M10.5.0/3";
inline constexpr char kEasternEurope[] = "EET-2EEST,M3.5.0/3,M10.5.0/4";
inline constexpr char kUsEastern[] = "EST5EDT,M3.2.0,M11.1.0";

inline TDateTime DT(int y, int m, int d, int h = 0, int n = 0, int s = 0, int ms = 0) {
  return *TryEncodeDate(y, m, d) + *TryEncodeTime(h, n, s, ms);
}

inline std::string Fmt(TDateTime v) {
  return UToUtf8(FormatDateTime(u"yyyy-mm-dd hh:nn:ss.zzz", v));
}

inline std::string Write(const IJSONAncestor& v, bool ident = false, bool utc = false) {
  TJSONWriter w(ident, utc);
  v->AsJSONString(w);
  return std::string(w.Utf8());
}

inline IJSONAncestor Parse(std::u16string_view text, bool checkDate = true) {
  return TJSONObject::ParseJSONValue(text, checkDate);
}

}  // namespace vx::json::test
