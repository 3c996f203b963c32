#pragma once
// The process-wide formatting settings every number and date conversion uses by default.
#include "core/ustring.h"

namespace vx {

struct TFormatSettings {
  char16_t ThousandSeparator = 0;  // 0: no digit grouping
  char16_t DecimalSeparator = u'.';
  UString ShortDateFormat;
  // The application object's automatic reloading of these settings when the system announces a
  // change of regional settings.
  bool UpdateFormatSettings = true;
};

// The process's settings, taken from the user's locale on first use.
[[nodiscard]] TFormatSettings& FormatSettings();

}  // namespace vx
