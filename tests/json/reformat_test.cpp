// The command core: reformatting, errors and the byte-order mark.
#include <gtest/gtest.h>

#include <sstream>

#include "json/read/reformat.h"
#include "json_test_util.h"

namespace vx::json::test {
namespace {

struct Result {
  int code;
  std::string out, err;
};

Result Reformat(std::string_view text, bool ident = false, bool utc = false) {
  std::ostringstream out, err;
  const int code = ReformatJSON(text, ident, utc, out, err);
  return {code, out.str(), err.str()};
}

TEST(JsonReformat, WritesCompactIndentedAndUniversalForms) {
  ScopedTimeZone tz(kCentralEurope);
  const std::string text = "\xEF\xBB\xBF { \"n\": \"\xC5\x82\", \"t\": \"2022-11-21T09:07:34Z\" }";
  Result r = Reformat(text);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "{\"n\":\"\\u0142\",\"t\":\"2022-11-21T10:07:34.000\"}\n");
  r = Reformat(text, true, true);
  EXPECT_EQ(r.out, "{\r\n  \"n\":\"\\u0142\",\r\n  \"t\":\"2022-11-21T09:07:34.000Z\"\r\n}\n");
}

TEST(JsonReformat, ATextWithoutValueIsAnError) {
  for (std::string_view text : {"", "  \r\n", "x", "\xEF\xBB\xBF", "]"}) {
    Result r = Reformat(text);
    EXPECT_EQ(r.code, 1) << text;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "vxhost json: tekst nie zawiera warto\xC5\x9B"
              "ci JSON\n");
  }
}

TEST(JsonReformat, AnErrorMessageShowsANulCharacterAndKeepsItsPosition) {
  Result r = Reformat("[\"a\\u0000b\n\"]");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("a\\u0000b"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("0A HEX 22 HEX. (Line: 1 Col: 1)\n"), std::string::npos) << r.err;
}

TEST(JsonReformat, ErrorsGoToTheErrorStream) {
  Result r = Reformat("{\"a\" 1}");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Expected :. (Line: 0 Col: 5)\n");
  EXPECT_EQ(Reformat("[99999999999999999999]").code, 1);
  ScopedTimeZone tz(kCentralEurope);
  EXPECT_EQ(Reformat("\"2022-03-27T02:30:00\"", false, true).code, 1);
}

}  // namespace
}  // namespace vx::json::test
