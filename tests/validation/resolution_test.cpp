// Resolution of namespaces and schema locations: pages, the retry and duplicate rules, the
// location map and the dialogs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/other_user.h"
#include "support/temp_dir.h"
#include "validation/resolution.h"
#include "validation/schema_map.h"
#include "validation/validation_fixture.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ResolutionTest : public test::ValidationTest {
 protected:
  TValidationRun run;
  void Add(const std::string& ns, const std::string& location) { wAdd(run, Utf8ToU(ns), Utf8ToU(location)); }
  std::vector<std::string> Registered() const {
    std::vector<std::string> out;
    for (const auto& r : run.registered) out.push_back(UToUtf8(r));
    return out;
  }
  std::vector<std::string> Analysed() const {
    std::vector<std::string> out;
    for (const auto& t : log.Texts()) {
      if (t.rfind("Walidacja XML: Analiza : ", 0) == 0) out.push_back(t.substr(25));
    }
    return out;
  }
};

TEST_F(ResolutionTest, NamespacePageWithTwoRelativeSchemaLinks) {
  const std::string page = server.Url("/ns/two/");
  Publish("ns/two/index.html",
          "<html><body><p><a href=\"./first.xsd\">1</a></p><a href=\"./second.xsd\">2</a></body></html>");
  Publish("ns/two/first.xsd", Schema(page, "<xsd:element name=\"a\"/>"));
  Publish("ns/two/second.xsd", Schema(page, "<xsd:element name=\"b\"/>"));
  Add("", page);
  EXPECT_THAT(Registered(), ElementsAre(page + "first.xsd", page + "second.xsd"));
  EXPECT_THAT(Analysed(),
              ElementsAre("\"\", \"" + page + "\"", "\"\", \"" + page + "first.xsd\"",
                          "\"" + page + "\", \"" + page + "first.xsd\"", "\"\", \"" + page + "second.xsd\"",
                          "\"" + page + "\", \"" + page + "second.xsd\""));
  EXPECT_TRUE(dialogs->shown.empty());
}

TEST_F(ResolutionTest, W3CAddressesAreNeverResolved) {
  Add("", "http://WWW.w3.org/2001/XMLSchema-instance");
  EXPECT_EQ(log.Texts(),
            (std::vector<std::string>{
                "Walidacja XML: Analiza : \"\", \"http://WWW.w3.org/2001/XMLSchema-instance\""}));
  EXPECT_TRUE(run.registered.empty());
}

TEST_F(ResolutionTest, EmbeddedWebAddressAndRepeatedLocations) {
  const std::string ns = "urn:test:plain";
  const std::string url = Publish("plain.xsd", Schema(ns, "<xsd:element name=\"a\"/>"));
  std::vector<UString> seenByHook;
  DoBeforeAddXSD = [&](UString& loc) { seenByHook.push_back(loc); };
  Add(ns, "file:///ignored/" + url);  // reduced to the web address it carries
  Add(ns, url);                       // already registered: stops after the hook
  EXPECT_THAT(Registered(), ElementsAre(url));
  EXPECT_EQ(seenByHook.size(), 2u);
  EXPECT_EQ(server.RequestCount("/plain.xsd"), 1);  // fetched once per run
}

TEST_F(ResolutionTest, DuplicateDeclarationsAreIgnoredWithoutDialogs) {
  const std::string ns = "urn:test:dup";
  const std::string a = Publish("dup/a.xsd", Schema(ns, "<xsd:element name=\"same\"/>"));
  const std::string b = Publish("dup/b.xsd", Schema(ns, "<xsd:element name=\"same\"/>"));
  Add(ns, a);
  Add(ns, b);
  EXPECT_THAT(Registered(), ElementsAre(a));
  EXPECT_TRUE(dialogs->shown.empty());
  EXPECT_EQ(log.Count("Walidacja XML: Odczyt z pliku INI"), 0);
}

TEST_F(ResolutionTest, MessagePieces) {
  auto n = [](UStringView m) { return MessagePieces(m).size(); };
  EXPECT_EQ(n(u"Schemat 'a': Zduplikowana nazwa elementu 'x'"), 4u);
  EXPECT_EQ(MessagePieces(u"Schemat 'a': Zduplikowana nazwa elementu 'x'")[2],
            u": Zduplikowana nazwa elementu ");
  EXPECT_EQ(n(u"'a''b'"), 4u);  // leading and inner empty pieces count, a final one does not
  EXPECT_EQ(n(u"abc"), 1u);
  const auto p = MessagePieces(
      u"Przestrzeń nazw '' nie jest przestrzenią docelową schematu 'x'. Przestrzeń docelowa "
      u"schematu: 'http://t/'.");
  EXPECT_EQ(p[p.size() - 2], u"http://t/");
}

TEST_F(ResolutionTest, MapEntryIsFollowedWithoutDialogs) {
  const std::string good = Publish("good.xsd", Schema("urn:test:good", "<xsd:element name=\"a\"/>"));
  const std::string missing = server.Url("/missing.xsd");
  ToIni(Utf8ToU(missing), Utf8ToU(good));
  Add("urn:test:good", missing);
  EXPECT_THAT(Registered(), ElementsAre(good));
  EXPECT_TRUE(dialogs->shown.empty());
  EXPECT_TRUE(log.Has("Walidacja XML: Odczytana wartość z pliku INI: " + good));
}

TEST_F(ResolutionTest, NoMapEntryAsksTheUser) {
  const std::string missing = server.Url("/missing.xsd");
  const std::string good = Publish("good.xsd", Schema("urn:test:good", "<xsd:element name=\"a\"/>"));
  const std::string question =
      "Nie znaleziono pliku " + missing + ". Czy chcesz wskazać położenie pliku schematu XSD?";

  // No: no input box, nothing stored.
  dialogs->answers = {"no"};
  Add("urn:test:good", missing);
  EXPECT_THAT(dialogs->shown, ElementsAre("Question:Pytanie|" + question));
  EXPECT_TRUE(log.Has("Walidacja XML: Odpowiedziano na pytanie 0: " + question));
  EXPECT_EQ(MapText(), "");

  // Yes, then Cancel: the map gets old=old, which later reads as no entry.
  dialogs->shown.clear();
  dialogs->answers = {"yes", "cancel"};
  Add("urn:test:good", missing);
  EXPECT_THAT(dialogs->shown, ElementsAre("Question:Pytanie|" + question,
                                          "InputBox:Podaj położenie dla pliku schematu XSD|" + missing));
  EXPECT_EQ(FromIni(Utf8ToU(missing)), Utf8ToU(missing));
  EXPECT_TRUE(run.registered.empty());

  // Yes, then a location: registered and remembered.
  dialogs->shown.clear();
  dialogs->answers = {"yes", "input:" + good};
  Add("urn:test:good", missing);
  EXPECT_THAT(Registered(), ElementsAre(good));
  EXPECT_EQ(FromIni(Utf8ToU(missing)), Utf8ToU(good));
  EXPECT_TRUE(log.Has("Walidacja XML: Okno input: Podaj położenie dla pliku schematu XSD\r\nURL: "));
  EXPECT_TRUE(log.Has("Walidacja XML: Okno input odpowiedź: " + good));
  EXPECT_THAT(MapText(), HasSubstr("[MAP_XSD]"));
}

TEST_F(ResolutionTest, AnAnswerMayBeALocalFilePath) {
  const auto local = dir.path() / "lokalny schemat, żółć.xsd";
  test::WriteFile(local, Schema("urn:test:local", "<xsd:element name=\"a\"/>"));
  dialogs->answers = {"yes", "input:" + local.string()};
  Add("urn:test:local", server.Url("/missing.xsd"));
  EXPECT_THAT(Registered(), ElementsAre(local.string()));
}

TEST_F(ResolutionTest, EmptyMapValueLeadsToTheDialogs) {
  const std::string missing = server.Url("/missing.xsd");
  test::WriteFile(dir.path() / "xsd_map.ini", "[MAP_XSD]\n" + missing + "=\n");
  dialogs->answers = {"no"};
  Add("", missing);
  EXPECT_EQ(dialogs->shown.size(), 1u);
}

TEST_F(ResolutionTest, MapLoopsStopWithALogLine) {
  const std::string a = server.Url("/a.xsd");
  const std::string b = server.Url("/b.xsd");
  ToIni(Utf8ToU(a), Utf8ToU(b));
  ToIni(Utf8ToU(b), Utf8ToU(a));
  Add("", a);
  EXPECT_EQ(log.Count("Walidacja XML: Pominięto położenie"), 1);
  EXPECT_TRUE(dialogs->shown.empty());
}

TEST_F(ResolutionTest, AnAnswerRepeatingTheFailedLocationRetriesIt) {
  // The server fails the first request (a network hiccup); the user confirms the same location.
  int requests = 0;
  const std::string schema = Schema("urn:test:retry", "<xsd:element name=\"a\"/>");
  server.On("/flaky.xsd", [&](const test::HttpRequest&, test::HttpResponse& r) {
    r.status = ++requests == 1 ? 503 : 200;
    r.body = schema;
    r.contentType = "text/xml";
    return true;
  });
  const std::string flaky = server.Url("/flaky.xsd");
  dialogs->answers = {"yes", "input:" + flaky};
  Add("urn:test:retry", flaky);
  EXPECT_THAT(Registered(), ElementsAre(flaky));
  EXPECT_EQ(log.Count("Walidacja XML: Pominięto położenie"), 0);
  EXPECT_EQ(requests, 2);
}

TEST_F(ResolutionTest, UnwritableMapIsLoggedAndIgnored) {
  test::ScopedEnv map("VX64_XSD_MAP", (dir.path() / "no-such-dir" / "xsd_map.ini").c_str());
  ToIni(u"a", u"b");
  bool failed = false;
  for (const auto& t : log.Texts())
    failed |= t.rfind("Walidacja XML: Zapis do pliku INI nie powódł się \r\n", 0) == 0;
  EXPECT_TRUE(failed);
  EXPECT_EQ(log.Texts().back(), "Walidacja XML: Zakończono zapis do pliku INI");
  EXPECT_EQ(FromIni(u"a"), u"");
}

// An installed program's folder is not the user's to write: the map then lives in the user's
// settings folder, created on the first entry.
TEST_F(ResolutionTest, AMapBesideAnUnwritableProgramGoesToTheUsersSettingsFolder) {
  const auto other = test::SecondUser();
  if (!other) GTEST_SKIP() << "needs root to act as a second user";
  const std::filesystem::path home = dir.path() / "home";
  std::filesystem::create_directory(home);
  ASSERT_EQ(chown(dir.path().c_str(), other->pw_uid, other->pw_gid), 0);
  ASSERT_EQ(chown(home.c_str(), other->pw_uid, other->pw_gid), 0);
  const std::filesystem::path expected = home / "cfg" / "vx64" / "xsd_map.ini";
  const int code = test::AsOtherUser(other->pw_uid, other->pw_gid, [&] {
    unsetenv("VX64_XSD_MAP");
    setenv("XDG_CONFIG_HOME", (home / "cfg").c_str(), 1);
    if (SchemaMapPath() != Utf8ToU(expected.string())) return 1;
    ToIni(u"http://a/x.xsd", u"http://b/y.xsd");
    return FromIni(u"http://a/x.xsd") == u"http://b/y.xsd" ? 0 : 2;
  });
  EXPECT_EQ(code, 0);
  EXPECT_NE(test::ReadFile(expected).find("http://a/x.xsd=http://b/y.xsd"), std::string::npos);
}

TEST_F(ResolutionTest, MapKeysIgnoreCaseAndSurviveRewrites) {
  ToIni(u"http://Example/A.xsd", u"http://x/1.xsd");
  ToIni(u"http://other/b.xsd", u"http://x/2.xsd");
  ToIni(u"HTTP://EXAMPLE/A.XSD", u"http://x/3.xsd");  // the same key, written in place
  EXPECT_EQ(FromIni(u"http://example/a.xsd"), u"http://x/3.xsd");
  EXPECT_EQ(FromIni(u"http://other/b.xsd"), u"http://x/2.xsd");
  EXPECT_EQ(FromIni(u"http://none/"), u"");
}

TEST_F(ResolutionTest, XSDNotFoundHookReplacesMapAndDialogs) {
  std::vector<UString> notFound;
  DoXSDNotFound = [&](const UString& loc) { notFound.push_back(loc); };
  Add("", server.Url("/missing.xsd"));
  EXPECT_EQ(notFound.size(), 1u);
  EXPECT_EQ(log.Count("Walidacja XML: Odczyt z pliku INI"), 0);
  EXPECT_TRUE(dialogs->shown.empty());
}

}  // namespace
}  // namespace vx
