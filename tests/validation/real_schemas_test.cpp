// Real public schemas served on 127.0.0.1 under their real host names: every sample is valid,
// and a sample with one value broken is not.
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "validation/entry.h"
#include "validation/validation_fixture.h"

namespace vx {
namespace {

using ::testing::HasSubstr;

const std::filesystem::path kFixtures = std::filesystem::path(VX_SOURCE_DIR) / "tests/fixtures/jpk-real";

class RealSchemasTest : public test::ValidationTest {
 protected:
  RealSchemasTest() {
    real.ServeTree(kFixtures / "www");
    real.Start();
    override_ = std::make_unique<test::ScopedEnv>(
        "VX64_CONNECT_TO",
        (real.ConnectTo("crd.gov.pl", 80) + "," + real.ConnectTo("jpk.mf.gov.pl", 80)).c_str());
  }
  UString ValidateText(const std::string& name, const std::string& xml) {
    const auto file = dir.path() / name;
    test::WriteFile(file, xml);
    return IsXMLFIle_Valid(Utf8ToU(file.string()), u"", u"", false);
  }
  static std::string Sample(const std::string& name) { return test::ReadFile(kFixtures / "samples" / name); }
  static void ReplaceOnce(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  }

  test::HttpServer real;
  std::unique_ptr<test::ScopedEnv> override_;
};

TEST_F(RealSchemasTest, EverySampleIsValid) {
  int samples = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kFixtures / "samples")) {
    ++samples;
    UString r = IsXMLFIle_Valid(Utf8ToU(entry.path().string()), u"", u"", false);
    EXPECT_EQ(UToUtf8(r), "") << entry.path().filename();
  }
  EXPECT_GE(samples, 8);
  EXPECT_TRUE(dialogs->shown.empty());
}

TEST_F(RealSchemasTest, ABrokenTaxNumberIsNamed) {
  std::string xml = Sample("jpk_v7m1_valid_sprzedaz_osoba_fizyczna.xml");
  ReplaceOnce(xml, "<etd:NIP>7018631981</etd:NIP>", "<etd:NIP>70186X1981</etd:NIP>");
  UString r = ValidateText("nip.xml", xml);
  EXPECT_THAT(UToUtf8(r), HasSubstr("NIP"));
  EXPECT_THAT(UToUtf8(r), HasSubstr("70186X1981"));
}

TEST_F(RealSchemasTest, ABrokenCountryCodeIsNamed) {
  std::string xml = Sample("jpk_fa3_valid_with_zamowienia_polish_address.xml");
  ReplaceOnce(xml, "KodKraju>PL</", "KodKraju>QQ</");
  UString r = ValidateText("kraj.xml", xml);
  EXPECT_THAT(UToUtf8(r), HasSubstr("QQ"));
}

}  // namespace
}  // namespace vx
