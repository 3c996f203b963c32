// The date recogniser and the date casts on hostile text, under zones with and without daylight
// saving: the recogniser matches the date expression as PCRE2 does, and a recognised value must
// format in its own kind, and move to UTC and back, or fail with the library's errors only.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../tests/json/date_expression.h"
#include "json/dates/date_time.h"
#include "json/dates/recognition.h"
#include "json/model/errors.h"
#include "json/model/values.h"
#include "json/write/writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx::json;
  if (size == 0 || size > 64) return 0;
  static const char* const kZones[] = {"UTC", "Europe/Warsaw", "America/New_York", "Asia/Kolkata",
                                       "CET-1CEST,M3.5.0,M10.5.0/3"};
  setenv("TZ", kZones[data[0] % 5], 1);
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const vx::UString text = vx::Utf8ToU(bytes);

  // The groups of the match are the expression's, and there are none when it has no one match.
  const TISO8601 test(text);
  const auto groups = vx::json::testing::ExpressionGroups(text);
  for (int g = 1; g <= TISO8601::kGroupCount; ++g) {
    if (test.GroupText(g) != (groups ? vx::UStringView((*groups)[g]) : vx::UStringView())) std::abort();
  }

  TDateTime value = 0;
  TDataType kind = dtNil;
  if (TJSONDateManager::Instance().Check(text, value, kind)) {
    IJSONAncestor date;
    switch (kind) {
      case dtDateTime:
        date = MakeRef<TJSONDateTime>(value);
        break;
      case dtDate:
        date = MakeRef<TJSONDate>(value);
        break;
      case dtTime:
        date = MakeRef<TJSONTime>(value);
        break;
      default:
        break;
    }
    if (date) {
      for (const bool utc : {false, true}) {
        try {
          TJSONWriter writer(false, utc);
          date->AsJSONString(writer);
        } catch (const EJSONBaseError&) {
        }
      }
    }
  }
  (void)VxJSDateToDateTime(text);
  TVariant out;
  (void)VxCastDateTime(TVariant::String(text), out);
  return 0;
}
