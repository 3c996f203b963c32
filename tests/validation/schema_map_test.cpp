// The map file: entries written as key=value, everything else in the file kept as it was, links
// written through, permissions kept, and no entry that would read back differently.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "platform/common/ini_text.h"
#include "validation/schema_map.h"
#include "validation/validation_fixture.h"

namespace vx {
namespace {

class SchemaMapTest : public test::ValidationTest {
 protected:
  std::filesystem::path Map() const { return dir.path() / "xsd_map.ini"; }
};

TEST_F(SchemaMapTest, EntriesAreKeyEqualsValueAndTheRestOfTheFileIsKept) {
  ToIni(u"http://a/x.xsd", u"http://b/x.xsd");
  EXPECT_EQ(MapText(), "[MAP_XSD]\nhttp://a/x.xsd=http://b/x.xsd\n");

  const std::string hand =
      "; kept comment\r\n[Other]\r\nk = v\r\n\r\n[map_xsd]\r\n# about a\r\nhttp://a/x.xsd = old\r\n"
      "http://c/y.xsd=c\r\n\r\n; trailing comment\r\n[Last]\r\nz=1";
  test::WriteFile(Map(), hand);
  ToIni(u"HTTP://A/X.XSD", u"http://new/x.xsd");  // same key, other case: replaced in place
  ToIni(u"http://d/z.xsd", u"http://d/1.xsd");    // new key: after the section's last entry
  EXPECT_EQ(MapText(),
            "; kept comment\r\n[Other]\r\nk = v\r\n\r\n[map_xsd]\r\n# about "
            "a\r\nHTTP://A/X.XSD=http://new/x.xsd\r\n"
            "http://c/y.xsd=c\r\nhttp://d/z.xsd=http://d/1.xsd\r\n\r\n; trailing comment\r\n[Last]\r\nz=1");
  EXPECT_EQ(FromIni(u"http://c/Y.xsd"), u"c");
  EXPECT_EQ(FromIni(u"k"), u"");  // another section's key
}

TEST_F(SchemaMapTest, ALinkedMapIsWrittenThroughAndKeepsItsMode) {
  const auto target = dir.path() / "real" / "map.ini";
  std::filesystem::create_directories(target.parent_path());
  test::WriteFile(target, "[MAP_XSD]\n");
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  std::filesystem::create_symlink(std::filesystem::path("real") / "map.ini", Map());
  ToIni(u"a.xsd", u"b.xsd");
  EXPECT_TRUE(std::filesystem::is_symlink(Map()));
  EXPECT_EQ(test::ReadFile(target), "[MAP_XSD]\na.xsd=b.xsd\n");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(SchemaMapTest, EntriesThatWouldNotReadBackAreRefused) {
  // A location from a document or a page must not plant a second entry in the user's map.
  ToIni(u"http://a/x.xsd\nhttp://b/y.xsd=file:///etc/shadow", u"v");
  ToIni(u"k=1", u"v");
  ToIni(u"[MAP_XSD]", u"v");
  ToIni(u"ok", u"v\r\nx=y");
  EXPECT_EQ(MapText(), "");
  EXPECT_EQ(log.Count("Walidacja XML: Zapis do pliku INI nie powódł się \r\n"), 4);
  EXPECT_EQ(FromIni(u"http://b/y.xsd"), u"");
}

TEST(IniText, Reading) {
  const std::string text = "\xEF\xBB\xBF[MAP_XSD]\nA = 1 \n;b=2\nc==3\n[MAP_XSD]\nd=4\n[x]\ne=5";
  EXPECT_EQ(IniValue(text, "map_xsd", "a"), "1");
  EXPECT_EQ(IniValue(text, "MAP_XSD", ";b"), std::nullopt);
  EXPECT_EQ(IniValue(text, "MAP_XSD", "c"), "=3");
  EXPECT_EQ(IniValue(text, "MAP_XSD", "d"), std::nullopt);  // only the first section of a name
  EXPECT_EQ(IniValue(text, "x", "e"), "5");
  EXPECT_EQ(IniWithValue("[MAP_XSD]", "MAP_XSD", "k", " v "), "[MAP_XSD]\nk=v\n");
  // A last line ending in a lone carriage return (found by fuzzing).
  const std::string written = IniWithValue("[MAP_XSD]\nt =]\r", "MAP_XSD", "k", "v");
  EXPECT_EQ(written, "[MAP_XSD]\nt =]\r\nk=v\n");
  EXPECT_EQ(IniValue(written, "MAP_XSD", "k"), "v");
}

}  // namespace
}  // namespace vx
