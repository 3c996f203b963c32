#include "worker/regional_settings.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

struct Row {
  char16_t thousand;
  char16_t decimal;
  const char16_t* date;
  char16_t expectThousand;
  char16_t expectDecimal;
  const char16_t* expectDate;
  bool written;
  bool reloadOff;
};

TEST(CheckSeparatory, RepairTable) {
  const Row rows[] = {
      {u'\u00A0', u',', u"dd.MM.yyyy", u' ', u',', u"dd.MM.yyyy", true, false},
      {u' ', u',', u"dd.MM.yyyy", u' ', u',', u"dd.MM.yyyy", false, false},
      {u',', u'.', u"M/d/yyyy", u',', u'.', u"M/d/yyyy", false, false},
      {u'.', u'.', u"dd.MM.yyyy", u'\'', u',', u"dd.MM.yyyy", true, false},
      {u',', u',', u"dd.MM.yyyy", u'\'', u',', u"dd.MM.yyyy", true, false},
      {u'x', u',', u"dd.MM.yyyy", u' ', u',', u"dd.MM.yyyy", true, true},
      {u' ', u'x', u"dd.MM.yyyy", u' ', u',', u"dd.MM.yyyy", true, false},
      {u' ', u',', u"dd.MM.yy", u' ', u',', u"yyyy-mm-dd", true, false},
      {u' ', u',', u"dd.MM.YYYY", u' ', u',', u"yyyy-mm-dd", true, false},
      // A decimal separator that is not allowed becomes "," before the equality test.
      {u',', u'x', u"dd.MM.yyyy", u'\'', u',', u"dd.MM.yyyy", true, false},
      // No grouping at all is allowed.
      {u'\0', u'.', u"yyyy-MM-dd", u'\0', u'.', u"yyyy-MM-dd", false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "thousand U+" << std::hex << int(r.thousand) << " decimal U+"
                                    << int(r.decimal));
    TFormatSettings s{r.thousand, r.decimal, r.date, true};
    EXPECT_EQ(RepairFormatSettings(s), r.written);
    EXPECT_EQ(s.ThousandSeparator, r.expectThousand);
    EXPECT_EQ(s.DecimalSeparator, r.expectDecimal);
    EXPECT_EQ(s.ShortDateFormat, UString(r.expectDate));
    EXPECT_EQ(s.UpdateFormatSettings, !r.reloadOff);
  }
}

TEST(CheckSeparatory, RepairsTheProcessSettings) {
  TFormatSettings saved = FormatSettings();
  FormatSettings() = TFormatSettings{u'.', u'.', u"dd.MM.yy", true};
  EXPECT_TRUE(CheckSeparatory());
  EXPECT_EQ(FormatSettings().ThousandSeparator, u'\'');
  EXPECT_EQ(FormatSettings().DecimalSeparator, u',');
  EXPECT_EQ(FormatSettings().ShortDateFormat, u"yyyy-mm-dd");
  FormatSettings() = saved;
}

}  // namespace
}  // namespace vx
