#include "validation/link_discovery.h"

#include <libxml/xmlerror.h>

#include "validation/net_fixture.h"

namespace vx {
namespace {

using test::HttpServer;
using test::ScopedEnv;

using LinkDiscoveryTest = test::NetTest;

TEST_F(LinkDiscoveryTest, SchemaByNameOrTrailingSlashNeedsNoDownload) {
  HttpServer server;
  server.Start();
  for (const char* path : {"/a/b.XsD", "/b.xsd?version=2", "/schemas.xsd/current", "/A.XSD.html"})
    EXPECT_TRUE(IsXSD(Utf8ToU(server.Url(path)))) << path;
  EXPECT_TRUE(IsXSD(u"C:\\Schematy\\jpk.xsd"));
  EXPECT_FALSE(IsXSD(Utf8ToU(server.Url("/namespace/"))));
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(LinkDiscoveryTest, SchemaByContentNeedsTheXsdPrefix) {
  HttpServer server;
  server.Serve("/lower", "<?xml version='1.0'?><xsd:schema xmlns:xsd='x'/>", "text/xml");
  server.Serve("/upper", "<XSD:SCHEMA/>", "text/xml");
  server.Serve("/mixed", "<Xsd:Schema/>", "text/xml");
  server.Serve("/xs", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'/>", "text/xml");
  server.Serve("/gone", "<xsd:schema/>", "text/xml", 404);
  server.Start();

  for (const char* path : {"/lower", "/upper", "/mixed"})
    EXPECT_TRUE(IsXSD(Utf8ToU(server.Url(path)))) << path;
  for (const char* path : {"/xs", "/gone", "/nothing"})
    EXPECT_FALSE(IsXSD(Utf8ToU(server.Url(path)))) << path;
  EXPECT_FALSE(IsXSD(u"urn:x-test:schema"));
  EXPECT_FALSE(IsXSD(u"/var/schemas/plain-name"));
}

TEST_F(LinkDiscoveryTest, NamespacePageLinksInPageOrder) {
  HttpServer server;
  server.Start();
  const std::string page = server.Url("/ns/2024/");
  const std::string absolute = "HTTP://127.0.0.1:" + std::to_string(server.port()) + "/other/Types";
  server.Serve("/ns/2024/",
               "<html><body><h1>Schemas</h1><ul>\n"
               "<li><A HREF=\"./Main_v1.xsd\">main</A>\n"  // unclosed elements, capitals
               "<li><a href='./readme.html'>readme</a>\n"  // not a schema: downloaded, left out
               "<li><a href=\"" +
                   absolute +
                   "\">types</a>\n"                                      // absolute, scheme in capitals
                   "<li><a name='anchor-without-href'>x</a>\n"           // no href: the page address itself
                   "<li><a href=\"./Types_v1.xsd?a=1&amp;b=2\">t</a>\n"  // entity in the attribute
                   "</ul></body></html>",
               "text/html");
  server.Serve("/ns/2024/readme.html", "<html>no schema here</html>", "text/html");
  server.Serve("/other/Types", "<xsd:schema targetNamespace='t'/>", "text/xml");

  std::vector<UString> links{u"kept"};
  EXPECT_TRUE(GetLinks(Utf8ToU(page), links));
  EXPECT_EQ(links, (std::vector<UString>{u"kept", Utf8ToU(page + "Main_v1.xsd"), Utf8ToU(absolute),
                                         Utf8ToU(page + "Types_v1.xsd?a=1&b=2")}));
  EXPECT_EQ(server.RequestCount("/ns/2024/readme.html"), 1);
  EXPECT_EQ(server.RequestCount("/ns/2024/"), 1);
  EXPECT_EQ(server.RequestCount("/ns/2024/Main_v1.xsd"), 0);
}

TEST_F(LinkDiscoveryTest, OtherRelativeFormsAreAppendedAsWritten) {
  HttpServer server;
  server.Serve("/ns/", "<a href='bare.xsd'>1</a><a href='../up.xsd'>2</a><a href='/root.xsd'>3</a>",
               "text/html");
  server.Start();
  const std::string page = server.Url("/ns/");
  std::vector<UString> links;
  EXPECT_TRUE(GetLinks(Utf8ToU(page), links));
  EXPECT_EQ(links, (std::vector<UString>{Utf8ToU(page + "bare.xsd"), Utf8ToU(page + "../up.xsd"),
                                         Utf8ToU(page + "/root.xsd")}));
}

TEST_F(LinkDiscoveryTest, PageThatCannotBeFetchedClearsTheList) {
  HttpServer server;
  server.Serve("/gone/", "<a href='./a.xsd'>a</a>", "text/html", 404);
  server.Serve("/empty/", "<p>no links</p>", "text/html");
  server.Start();
  HttpServer selfSigned({.tls = true});
  selfSigned.Serve("/ns/", "<a href='./a.xsd'>a</a>", "text/html");
  selfSigned.Start();

  for (const std::string& page :
       {server.Url("/gone/"), "http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/ns/",
        selfSigned.Url("/ns/"), std::string("urn:x-test:ns")}) {
    std::vector<UString> links{u"found earlier"};
    EXPECT_FALSE(GetLinks(Utf8ToU(page), links)) << page;
    EXPECT_TRUE(links.empty()) << page;
  }
  std::vector<UString> links;
  EXPECT_FALSE(GetLinks(Utf8ToU(server.Url("/empty/")), links));
}

TEST_F(LinkDiscoveryTest, RealNamespacePageThroughTheOverride) {
  HttpServer server;
  server.ServeTree(VX_SOURCE_DIR "/tests/fixtures/jpk-real/www");
  server.Start();
  const std::string connectTo = server.ConnectTo("crd.gov.pl", 80);
  ScopedEnv override("VX64_CONNECT_TO", connectTo.c_str());

  const UString page = u"http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2020/03/11/eD/DefinicjeTypy/";
  std::vector<UString> links;
  EXPECT_TRUE(GetLinks(page, links));
  EXPECT_EQ(links, std::vector<UString>{page + u"StrukturyDanych_v6-0E.xsd"});
  ASSERT_FALSE(server.Requests().empty());
  EXPECT_EQ(server.Requests().front().host, "crd.gov.pl");
}

int gStructuredErrors = 0;
void CountError(void*, xmlErrorPtr) {
  ++gStructuredErrors;
}

TEST(AnchorHrefs, BrokenMarkupReachesNoInstalledHandler) {
  xmlSetStructuredErrorFunc(nullptr, &CountError);
  const std::vector<UString> hrefs =
      AnchorHrefs("<html><body><table><a href=\"x&y\">1<b><a href='ż.xsd'>2</td></html>");
  EXPECT_EQ(xmlStructuredError, &CountError);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  EXPECT_EQ(gStructuredErrors, 0);
  EXPECT_EQ(hrefs, (std::vector<UString>{u"x&y", u"ż.xsd"}));
  EXPECT_TRUE(AnchorHrefs("").empty());
}

TEST(LastStringPos, FindsTheLastOccurrence) {
  EXPECT_EQ(LastStringPos(u"http://", u"file:///C:/x/http://a.pl/http://b.pl/s.xsd"), 26u);
  EXPECT_EQ(LastStringPos(u"http://", u"http://a.pl/s.xsd"), 1u);
  EXPECT_EQ(LastStringPos(u"http://", u"HTTP://a.pl/s.xsd"), 0u);
  EXPECT_EQ(LastStringPos(u"https://", u"http"), 0u);
  EXPECT_EQ(LastStringPos(u"x", u""), 0u);
}

}  // namespace
}  // namespace vx
