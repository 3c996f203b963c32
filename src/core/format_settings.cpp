#include "core/format_settings.h"

#include "platform/locale_settings.h"

namespace vx {

TFormatSettings& FormatSettings() {
  static TFormatSettings settings = [] {
    platform::LocaleFormat locale = platform::ReadLocaleFormat();
    TFormatSettings s;
    s.ThousandSeparator = locale.thousandSeparator;
    s.DecimalSeparator = locale.decimalSeparator;
    s.ShortDateFormat = locale.shortDateFormat;
    return s;
  }();
  return settings;
}

}  // namespace vx
