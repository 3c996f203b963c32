// The engine on small documents: results, the order of its log lines, and the one-pass route
// giving the same answer as a structure check followed by a validation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "validation/engine.h"
#include "validation/validation_fixture.h"

namespace vx {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

class EngineTest : public test::ValidationTest {
 protected:
  // Namespace "<server>/ns/<name>/" whose page links "./<name>.xsd" declaring `body`.
  std::string Namespace(const std::string& name, const std::string& body) {
    const std::string ns = server.Url("/ns/" + name + "/");
    Publish("ns/" + name + "/index.html",
            "<html><body><a href=\"./" + name + ".xsd\">" + name + "</a></body></html>");
    Publish("ns/" + name + "/" + name + ".xsd", Schema(ns, body));
    return ns;
  }
  std::string OrderNamespace() {
    return Namespace(
        "order",
        "<xsd:element name=\"order\"><xsd:complexType><xsd:sequence>"
        "<xsd:element name=\"nip\" maxOccurs=\"unbounded\"><xsd:simpleType>"
        "<xsd:restriction base=\"xsd:string\"><xsd:pattern value=\"\\d{10}\"/></xsd:restriction>"
        "</xsd:simpleType></xsd:element>"
        "<xsd:any namespace=\"##other\" processContents=\"strict\" minOccurs=\"0\" maxOccurs=\"unbounded\"/>"
        "</xsd:sequence></xsd:complexType></xsd:element>");
  }
  static UString Validate(const std::string& xml) { return IsXML_Valid(Utf8ToU(xml), u"", u""); }
};

const std::string kStructureStart =
    "Walidacja XML: Sprawdzenia pliku XML wględem poprawności jego struktury.";
const std::string kStructureEnd =
    "Walidacja XML: Sprawdzenia pliku XML wględem poprawności jego struktury - Koniec.";

TEST_F(EngineTest, ValidAndInvalidDocumentsWithTheLogInOrder) {
  const std::string ns = OrderNamespace();
  int afterValidation = 0;
  DoAfterValidation = [&](UString&) { ++afterValidation; };
  EXPECT_EQ(Validate("<o:order xmlns:o=\"" + ns + "\"><o:nip>1234567890</o:nip></o:order>"), u"");
  EXPECT_EQ(afterValidation, 1);
  const std::vector<std::string> expected = {
      "Walidacja XML: Stworzenie obiektu XML klasy \"MSXML2.DOMDocument.6.0\".",
      "Walidacja XML: Stworzono obiekt XML - OK.",
      kStructureStart,
      kStructureEnd,
      "Walidacja XML: Stworzenie obiektu XSD klasy \"MSXML2.XMLSchemaCache.6.0\".",
      "Walidacja XML: Stworzono obiekt XSD - OK.",
      "Walidacja XML: Analiza pzestrzeni nazw.",
      "Walidacja XML: Analiza : \"\", \"" + ns + "\"",
      "Walidacja XML: Analiza : \"\", \"" + ns + "order.xsd\"",
      "Walidacja XML: Analiza : \"" + ns + "\", \"" + ns + "order.xsd\"",
      "Walidacja XML: Dodanie przestrzeni nazw: \"" + ns + "\" plik XSD: \"" + ns + "order.xsd\".",
      "Walidacja XML: Przypisanie schematów XSD do obiektu XML.",
      "Walidacja XML: Rozpoczęcie walidacji.",
      "Walidacja XML: Wykonano walidację.",
      "Walidacja XML: Zdarzenia DoAfterValidation",
      "Walidacja XML: Zdarzenia DoAfterValidation - koniec",
  };
  EXPECT_EQ(log.Texts(), expected);
  for (const auto& l : log.lines) EXPECT_EQ(l.level, 200);

  UString invalid =
      Validate("<o:order xmlns:o=\"" + ns + "\"><o:nip>1234567890</o:nip><o:nip>12x</o:nip></o:order>");
  EXPECT_THAT(UToUtf8(invalid), HasSubstr("'12x'"));
  EXPECT_THAT(UToUtf8(invalid), HasSubstr("nip"));
  EXPECT_EQ(invalid.find(u'\n'), UString::npos);  // the engine's text, trimmed
}

TEST_F(EngineTest, MalformedDocumentGivesTheStructureErrorAndNothingElse) {
  const std::string ns = OrderNamespace();
  int afterValidation = 0;
  DoAfterValidation = [&](UString&) { ++afterValidation; };
  UString r = Validate("<o:order xmlns:o=\"" + ns + "\"><o:nip>1</o:order>");
  EXPECT_THAT(UToUtf8(r), HasSubstr("mismatch"));
  EXPECT_EQ(log.Texts().back(), kStructureEnd);
  EXPECT_EQ(log.Count("Walidacja XML: Analiza"), 0);
  EXPECT_EQ(afterValidation, 0);
  EXPECT_EQ(server.RequestCount("/ns/order/order.xsd"), 0);
}

TEST_F(EngineTest, AStructureErrorAfterAValidationErrorWins) {
  const std::string ns = OrderNamespace();
  UString r =
      Validate("<o:order xmlns:o=\"" + ns + "\"><o:nip>bad</o:nip><o:nip>1234567890</o:nip></o:x></o:order>");
  EXPECT_THAT(UToUtf8(r), HasSubstr("mismatch"));
  EXPECT_THAT(log.Texts(), Not(Contains("Walidacja XML: Rozpoczęcie walidacji.")));
  EXPECT_EQ(log.Count("Walidacja XML: Analiza"), 0);
}

TEST_F(EngineTest, NoNamespaceMeansValidWithoutSchemas) {
  int afterValidation = 0;
  DoAfterValidation = [&](UString&) { ++afterValidation; };
  EXPECT_EQ(Validate("<?xml version=\"1.0\"?><root><a x=\"1\">text</a></root>"), u"");
  EXPECT_EQ(log.Texts().back(), "Walidacja XML: Analiza pzestrzeni nazw.");
  EXPECT_EQ(afterValidation, 0);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(EngineTest, ANamespaceFirstMetDeepInTheDocumentIsResolvedToo) {
  const std::string order = OrderNamespace();
  const std::string note = Namespace("note", "<xsd:element name=\"note\" type=\"xsd:int\"/>");
  const std::string head = "<o:order xmlns:o=\"" + order + "\"><o:nip>1234567890</o:nip>";
  EXPECT_EQ(Validate(head + "<n:note xmlns:n=\"" + note + "\">5</n:note></o:order>"), u"");
  // Both namespaces are analysed before validation starts, in document order.
  const auto texts = log.Texts();
  auto at = [&](const std::string& t) { return std::find(texts.begin(), texts.end(), t) - texts.begin(); };
  EXPECT_LT(at("Walidacja XML: Analiza : \"\", \"" + order + "\""),
            at("Walidacja XML: Analiza : \"\", \"" + note + "\""));
  EXPECT_LT(at("Walidacja XML: Analiza : \"\", \"" + note + "\""),
            at("Walidacja XML: Przypisanie schematów XSD do obiektu XML."));
  UString bad = Validate(head + "<n:note xmlns:n=\"" + note + "\">five</n:note></o:order>");
  EXPECT_THAT(UToUtf8(bad), HasSubstr("'five'"));
}

TEST_F(EngineTest, EntityTextIsWhatTheSchemaSees) {
  const std::string ns = OrderNamespace();
  auto doc = [&](const std::string& value) {
    return "<!DOCTYPE o:order [<!ENTITY n \"" + value + "\">]><o:order xmlns:o=\"" + ns +
           "\"><o:nip>&n;</o:nip></o:order>";
  };
  EXPECT_EQ(Validate(doc("1234567890")), u"");
  EXPECT_THAT(UToUtf8(Validate(doc("12x"))), HasSubstr("'12x'"));
}

TEST_F(EngineTest, UnresolvedNamespacesAreNotReportedValid) {
  // A namespace that leads nowhere: the validator has no declaration for the root.
  UString r = Validate("<x:root xmlns:x=\"urn:nowhere:at-all\"/>");
  EXPECT_FALSE(r.empty());
  EXPECT_THAT(UToUtf8(r), HasSubstr("root"));
}

TEST_F(EngineTest, ValidatorLogHookTakesEveryLine) {
  const std::string ns = OrderNamespace();
  std::vector<UString> hooked;
  DoValidatorLog = [&](const UString& line) { hooked.push_back(line); };
  EXPECT_EQ(Validate("<o:order xmlns:o=\"" + ns + "\"><o:nip>1234567890</o:nip></o:order>"), u"");
  EXPECT_TRUE(log.lines.empty());
  EXPECT_GE(hooked.size(), 14u);
  DoValidatorLog = nullptr;
  (void)Validate("<a/>");
  EXPECT_FALSE(log.lines.empty());
}

TEST_F(EngineTest, ExplicitPairIsTheOnlyOneResolved) {
  const std::string order = OrderNamespace();
  const std::string other = Namespace("other", "<xsd:element name=\"x\" type=\"xsd:int\"/>");
  UString r = IsXML_Valid(Utf8ToU("<o:order xmlns:o=\"" + order + "\" xmlns:z=\"" + other +
                                  "\"><o:nip>1234567890</o:nip></o:order>"),
                          Utf8ToU(order), Utf8ToU(order + "order.xsd"));
  EXPECT_EQ(r, u"");
  EXPECT_EQ(log.Count("Walidacja XML: Analiza : \"\""), 0);
  EXPECT_EQ(server.RequestCount("/ns/other/"), 0);
}

TEST_F(EngineTest, AfterValidationHookRunsAfterATrappedErrorAndMayReplaceTheResult) {
  const std::string ns = OrderNamespace();
  DoAfterValidation = [](UString& result) { result = u"zmienione: " + result; };
  EXPECT_EQ(Validate("<o:order xmlns:o=\"" + ns + "\"><o:nip>1234567890</o:nip></o:order>"), u"zmienione: ");
  // An error raised by the resolution is trapped; the hook still runs.
  DoBeforeAddXSD = [](UString&) { throw std::runtime_error("hook broke"); };
  log.lines.clear();
  // IsXSD and the hook run before the trap of the failing call: the error reaches the engine.
  DoXSDNotFound = [](const UString&) { throw std::runtime_error("not found hook broke"); };
  UString r = Validate("<o:order xmlns:o=\"" + ns + "\"><o:nip>1234567890</o:nip></o:order>");
  EXPECT_EQ(r, u"zmienione: Nie powiodła się weryfikacja pliku XML.");
  EXPECT_TRUE(log.Has("Walidacja XML: Walidacja zakończona wyjątkiem: not found hook broke"));
  EXPECT_TRUE(log.Has(kStructureEnd));
}

TEST_F(EngineTest, LargeDocumentWithAnErrorNearItsEnd) {
  const std::string ns = OrderNamespace();
  std::string xml = "<o:order xmlns:o=\"" + ns + "\">";
  const int rows = 200000;  // about 4 MB, many parser chunks
  xml.reserve(rows * 22);
  for (int i = 0; i < rows; ++i)
    xml += i == rows - 3 ? "<o:nip>12345x7890</o:nip>" : "<o:nip>1234567890</o:nip>";
  xml += "</o:order>";
  UString r = Validate(xml);
  EXPECT_THAT(UToUtf8(r), HasSubstr("'12345x7890'"));
}

TEST_F(EngineTest, MalformedDocumentNeverReachesADialog) {
  // The namespace cannot be resolved, so a valid document would lead to the question box; a
  // document broken further on must stop at its structure error first.
  UString r = Validate("<x:root xmlns:x=\"" + server.Url("/missing.xsd") + "\"><a></b></x:root>");
  EXPECT_THAT(UToUtf8(r), HasSubstr("mismatch"));
  EXPECT_TRUE(dialogs->shown.empty());
  EXPECT_EQ(log.Count("Walidacja XML: Analiza"), 0);
}

}  // namespace
}  // namespace vx
