// Hostile and unusual documents on the streaming pass: nesting, truncation, entities, warnings,
// long attribute values and bytes that are not UTF-8.
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "validation/entry.h"
#include "validation/validation_fixture.h"
#include "validation/xml_stream.h"

namespace vx {
namespace {

using ::testing::HasSubstr;

class DocumentTest : public test::ValidationTest {
 protected:
  static TStreamOutcome Pass(const std::string& xml) {
    TTextXmlSource source(xml);
    return StreamDocument(source, nullptr, TStreamExtent::Whole);
  }
  static std::string Structure(const std::string& xml) { return UToUtf8(Pass(xml).structureError); }
  std::string File(const std::string& name, const std::string& content) {
    test::WriteFile(dir.path() / name, content);
    return (dir.path() / name).string();
  }
  UString ValidateFile(const std::string& path) { return IsXMLFIle_Valid(Utf8ToU(path), u"", u"", false); }
};

std::string Nested(std::size_t levels, bool closed) {
  std::string xml;
  xml.reserve(levels * 7);
  for (std::size_t i = 0; i < levels; ++i) xml += "<a>";
  if (closed) {
    for (std::size_t i = 0; i < levels; ++i) xml += "</a>";
  }
  return xml;
}

TEST_F(DocumentTest, NestingIsBoundedAndTheBoundIsSettable) {
  EXPECT_EQ(Structure(Nested(10000, true)), "");
  const std::string deep = Structure(Nested(10001, true));
  EXPECT_THAT(deep, HasSubstr("10000"));
  EXPECT_THAT(deep, HasSubstr("zagnieżdżenie"));

  test::ScopedEnv bound("VX64_XML_MAX_DEPTH", "5");
  EXPECT_EQ(Structure(Nested(5, true)), "");
  EXPECT_THAT(Structure(Nested(6, true)), HasSubstr("5"));
}

TEST_F(DocumentTest, TenMillionLevelsInTheHostAreAStructureError) {
  const std::string path = File("deep.xml", Nested(10000000, false));
  UString r = ValidateFile(path);
  EXPECT_THAT(UToUtf8(r), HasSubstr("zagnieżdżenie"));
  EXPECT_THAT(UToUtf8(r), HasSubstr("10000"));
}

TEST_F(DocumentTest, TruncatedAndEmptyFilesSayWhatIsMissing) {
  EXPECT_EQ(Structure(""), "Document is empty");
  EXPECT_EQ(UToUtf8(ValidateFile(File("bom.xml", "\xEF\xBB\xBF"))), "Document is empty");
  EXPECT_EQ(Structure("  \n"), "Start tag expected, '<' not found");
  EXPECT_EQ(Structure("<?xml version=\"1.0\"?>\n"), "Start tag expected, '<' not found");
  EXPECT_EQ(Structure("<r>\n<a>\n<v>12"), "Premature end of data in tag v line 3");
  EXPECT_EQ(Structure("<p:r xmlns:p=\"urn:x\">\n<p:v a=\"1\">\n"), "Premature end of data in tag v line 2");
  // Truncated across many blocks, through the file route.
  std::string big = "<r>\n";
  for (int i = 0; i < 100000; ++i) big += "<row><v>1</v></row>\n";
  big += "<row><v>12";
  EXPECT_EQ(UToUtf8(ValidateFile(File("cut.xml", big))), "Premature end of data in tag v line 100002");
  // Real content after the root keeps its own text.
  EXPECT_EQ(Structure("<a/><b/>"), "Extra content at the end of the document");
}

TEST_F(DocumentTest, InternalEntitiesAreExpanded) {
  const std::string dtd =
      "<!DOCTYPE r [<!ENTITY one \"1\"><!ENTITY two \"&one;&one;\"><!ENTITY el \"<x>&two;</x>\">]>";
  EXPECT_EQ(Structure(dtd + "<r a=\"&two;\">&one; &el;</r>"), "");
  EXPECT_THAT(Structure(dtd + "<r>&three;</r>"), HasSubstr("three"));
}

TEST_F(DocumentTest, EntityExpansionIsBounded) {
  std::string dtd = "<!DOCTYPE r [<!ENTITY l0 \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    dtd += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) dtd += "&l" + std::to_string(i - 1) + ";";
    dtd += "\">";
  }
  dtd += "]>";
  for (const char* body : {"<r>&l9;</r>", "<r a=\"&l9;\"/>"}) {
    const std::string r = Structure(dtd + body);
    EXPECT_THAT(r, HasSubstr("encji")) << body;
  }
  // A few thousand expansions of a small entity stay well inside the bound.
  std::string many = "<!DOCTYPE r [<!ENTITY e \"abc\">]><r>";
  for (int i = 0; i < 5000; ++i) many += "&e;";
  EXPECT_EQ(Structure(many + "</r>"), "");
}

TEST_F(DocumentTest, ExternalEntitiesAndDtdsAreNeverLoaded) {
  const std::string secret = File("secret.txt", "TAJNE-DANE");
  const std::string url = server.Url("/evil.dtd");
  Publish("evil.dtd", "<!ENTITY x \"z serwera\">");
  const std::vector<std::string> documents = {
      "<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secret + "\">]><r>&x;</r>",
      "<!DOCTYPE r [<!ENTITY x SYSTEM \"" + url + "\">]><r a=\"&x;\"/>",
      "<!DOCTYPE r [<!ENTITY % ext SYSTEM \"" + url + "\"> %ext;]><r>&x;</r>",
      "<!DOCTYPE r SYSTEM \"" + url + "\"><r>&x;</r>",
  };
  for (const std::string& xml : documents) {
    const std::string r = Structure(xml);
    EXPECT_THAT(r, HasSubstr("zewnętrzn")) << xml;
    EXPECT_THAT(r, ::testing::Not(HasSubstr("TAJNE"))) << xml;
  }
  EXPECT_TRUE(server.Requests().empty());
  // Declared but never used, an external entity does no harm.
  EXPECT_EQ(Structure("<!DOCTYPE r [<!ENTITY x SYSTEM \"" + url + "\">]><r/>"), "");
  EXPECT_EQ(Structure("<!DOCTYPE r SYSTEM \"" + url + "\"><r/>"), "");
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(DocumentTest, NamespaceWarningsAreNotStructureErrors) {
  TStreamOutcome o = Pass("<r xmlns=\"urn:a b\"><x:c xmlns:x=\"rel/ative\"/></r>");
  EXPECT_EQ(UToUtf8(o.structureError), "");
  EXPECT_EQ(o.namespaces, (std::vector<std::string>{"urn:a b", "rel/ative"}));
  // A namespace error is still one.
  EXPECT_THAT(Structure("<x:r/>"), HasSubstr("x"));
}

TEST_F(DocumentTest, AttributeValuesOverTenMegabytes) {
  const std::string value(11 * 1000 * 1000, 'v');
  EXPECT_EQ(Structure("<r a=\"" + value + "\"/>"), "");
  EXPECT_EQ(UToUtf8(ValidateFile(File("attr.xml", "<r a=\"" + value + "\">" + value + "</r>"))), "");
}

TEST_F(DocumentTest, BytesThatAreNotUtf8AreAReadError) {
  std::string text = "<?xml version=\"1.0\" encoding=\"windows-1250\"?><r>";
  text += std::string(300000, 'x') + "zaż\xF3\xB3\xE6</r>";  // windows-1250 past the first block
  const std::size_t offset = text.find('\xF3');
  UString r = ValidateFile(File("cp1250.xml", text));
  EXPECT_EQ(UToUtf8(r), "Nie powiodła się weryfikacja pliku XML.");
  bool logged = false;
  for (const auto& line : log.Texts()) {
    if (line.rfind("Walidacja XML: W trybie 32-bit nie powiodła się: ", 0) == 0) {
      logged = true;
      EXPECT_THAT(line, HasSubstr(std::to_string(offset)));
      EXPECT_THAT(line, HasSubstr("UTF-8"));
    }
  }
  EXPECT_TRUE(logged);

  // A structure error before the bad byte is what the document is reported for.
  EXPECT_THAT(UToUtf8(ValidateFile(File("both.xml", "<r><a></r>\xB9"))), HasSubstr("mismatch"));
  // Sequences split across blocks; overlong forms, surrogates, code points above U+10FFFF and a
  // cut-off sequence.
  std::string split = "<r>" + std::string(256 * 1024 - 4, 'x') + "ąę€😀</r>";
  EXPECT_EQ(UToUtf8(ValidateFile(File("split.xml", split))), "");
  for (const std::string& bad : {std::string("<r>\xC0\xAF</r>"), std::string("<r>\xED\xA0\x80</r>"),
                                 std::string("<r>\xF4\x90\x80\x80</r>"), std::string("<r>\xE2\x82</r>")}) {
    EXPECT_EQ(UToUtf8(ValidateFile(File("bad.xml", bad))), "Nie powiodła się weryfikacja pliku XML.");
  }
}

}  // namespace
}  // namespace vx
