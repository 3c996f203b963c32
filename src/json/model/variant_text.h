#pragma once
// Conversions between variants and text, with the fixed settings this library uses in place of
// regional ones: "." as decimal separator, dates as yyyy-mm-dd and times as hh:nn:ss.
#include <optional>

#include "core/ustring.h"
#include "json/model/variant.h"

namespace vx::json {

// Raises EConvertError for a null variant. A date with time exactly midnight leaves the time out.
[[nodiscard]] UString VarToStr(const TVariant& value);
// "yyyy-mm-dd", "yyyy-mm-dd hh:nn[:ss[.zzz]]" or "hh:nn[:ss[.zzz]]"; blanks around are ignored.
[[nodiscard]] std::optional<TDateTime> TryStrToDateTime(UStringView text);
// Decimal integer with optional minus sign (leading zeros allowed); nullopt when it is not one or
// does not fit 64 bits.
[[nodiscard]] std::optional<std::int64_t> TryStrToInt64(UStringView text);
[[nodiscard]] std::optional<double> TryStrToFloat(UStringView text);
[[nodiscard]] std::optional<double> TryStrToFloat(std::string_view ascii);

}  // namespace vx::json
