#include "worker/regional_settings.h"

namespace vx {

namespace {

bool AllowedThousandSeparator(char16_t c) {
  return c == 0 || c == u' ' || c == u'"' || c == u'\'' || c == u',' || c == u'.' || c == u';';
}

bool AllowedDecimalSeparator(char16_t c) {
  return c == u'\'' || c == u',' || c == u'.';
}

}  // namespace

bool RepairFormatSettings(TFormatSettings& settings) {
  const char16_t oldThousand = settings.ThousandSeparator;
  const char16_t oldDecimal = settings.DecimalSeparator;
  const UString oldDate = settings.ShortDateFormat;

  if (settings.ThousandSeparator == u'\u00A0') settings.ThousandSeparator = u' ';
  if (settings.ShortDateFormat.find(u"yyyy") == UString::npos) settings.ShortDateFormat = u"yyyy-mm-dd";
  if (!AllowedThousandSeparator(settings.ThousandSeparator)) {
    settings.UpdateFormatSettings = false;
    settings.ThousandSeparator = u' ';
  }
  if (!AllowedDecimalSeparator(settings.DecimalSeparator)) settings.DecimalSeparator = u',';
  if (settings.DecimalSeparator == settings.ThousandSeparator) {
    settings.ThousandSeparator = u'\'';
    settings.DecimalSeparator = u',';
  }
  return settings.ThousandSeparator != oldThousand || settings.DecimalSeparator != oldDecimal ||
         settings.ShortDateFormat != oldDate;
}

bool CheckSeparatory() {
  // Writing the values to the user's regional settings has no counterpart here.
  (void)RepairFormatSettings(FormatSettings());
  return true;
}

}  // namespace vx
