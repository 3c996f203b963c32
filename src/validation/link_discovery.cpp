#include "validation/link_discovery.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <memory>
#include <stdexcept>

#include "validation/http_download.h"

namespace vx {

namespace {

UString AsciiUpperText(UStringView s) {
  UString upper(s);
  for (char16_t& c : upper) c = AsciiUpper(c);
  return upper;
}

bool Contains(UStringView aText, UStringView aPart) {
  return aText.find(aPart) != UStringView::npos;
}

void RemoveAll(UString& aText, UStringView aPart) {
  for (std::size_t pos; (pos = aText.find(aPart)) != UString::npos;) aText.erase(pos, aPart.size());
}

struct TFreeDoc {
  void operator()(xmlDoc* aDoc) const { xmlFreeDoc(aDoc); }
};
struct TFreeParser {
  void operator()(htmlParserCtxt* aCtxt) const { htmlFreeParserCtxt(aCtxt); }
};
struct TFreeXmlChar {
  void operator()(xmlChar* aText) const { xmlFree(aText); }
};

// HTML parse errors go to a structured error handler installed for the thread (a validation in
// progress may have one) even when the parser is told to report nothing. While a page is read,
// that handler is replaced by one that ignores everything, and put back afterwards.
class TQuietStructuredErrors {
 public:
  TQuietStructuredErrors() : FHandler(xmlStructuredError), FContext(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(nullptr, &Ignore);
  }
  ~TQuietStructuredErrors() { xmlSetStructuredErrorFunc(FContext, FHandler); }
  TQuietStructuredErrors(const TQuietStructuredErrors&) = delete;
  TQuietStructuredErrors& operator=(const TQuietStructuredErrors&) = delete;

 private:
  static void Ignore(void*, xmlErrorPtr) {}
  xmlStructuredErrorFunc FHandler;
  void* FContext;
};

bool IsAnchor(const xmlNode* aNode) {
  return aNode->type == XML_ELEMENT_NODE && aNode->name != nullptr &&
         xmlStrcasecmp(aNode->name, reinterpret_cast<const xmlChar*>("a")) == 0;
}

// The next node in document order below aRoot, without recursion (pages can nest deeply).
const xmlNode* NextNode(const xmlNode* aNode, const xmlNode* aRoot) {
  if (aNode->children != nullptr && aNode->type == XML_ELEMENT_NODE) return aNode->children;
  while (aNode != aRoot) {
    if (aNode->next != nullptr) return aNode->next;
    aNode = aNode->parent;
  }
  return nullptr;
}

}  // namespace

std::vector<UString> AnchorHrefs(std::string_view aHtmlUtf8) {
  if (aHtmlUtf8.size() > INT_MAX) throw std::length_error("page too large");
  // A parser context of our own with error reporting switched off; handlers are left as found.
  const TQuietStructuredErrors quiet;
  std::unique_ptr<htmlParserCtxt, TFreeParser> ctxt(htmlNewParserCtxt());
  if (ctxt == nullptr) throw std::bad_alloc();
  std::unique_ptr<xmlDoc, TFreeDoc> doc(
      htmlCtxtReadMemory(ctxt.get(), aHtmlUtf8.data(), static_cast<int>(aHtmlUtf8.size()), nullptr, "UTF-8",
                         HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_RECOVER));
  std::vector<UString> hrefs;
  if (doc == nullptr) return hrefs;  // nothing parseable: a page without anchors
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  for (const xmlNode* node = root; node != nullptr; node = NextNode(node, root)) {
    if (!IsAnchor(node)) continue;
    std::unique_ptr<xmlChar, TFreeXmlChar> href(xmlGetProp(node, reinterpret_cast<const xmlChar*>("href")));
    hrefs.push_back(href ? Utf8ToU(reinterpret_cast<const char*>(href.get())) : UString());
  }
  return hrefs;
}

bool IsXSD(UStringView aURL) {
  const UString upper = AsciiUpperText(aURL);
  if (Contains(upper, u".XSD")) return true;
  if (!upper.empty() && upper.back() == u'/') return false;
  return Contains(AsciiUpperText(wGetFileText(aURL)), u"XSD:SCHEMA");
}

bool GetLinks(UStringView aURL, std::vector<UString>& aList) {
  try {
    const std::vector<UString> hrefs = AnchorHrefs(UToUtf8(GetPageText(aURL)));
    for (UString h : hrefs) {
      // The links are read as a browser document written from text (not loaded from its address)
      // reports them: "./name" comes out as "about:./name", and that prefix is removed, so such a
      // link becomes the page address followed by the name. Other relative forms (a bare name,
      // "../name", "/name") are raw attribute texts and are appended to the page address as they
      // are.
      if (h.starts_with(u"./")) h.insert(0, u"about:");
      RemoveAll(h, u"about:./");
      const UString upper = AsciiUpperText(h);
      if (!Contains(upper, u"HTTP:") && !Contains(upper, u"HTTPS:")) h.insert(0, aURL);
      if (IsXSD(h)) aList.push_back(std::move(h));
    }
  } catch (const std::exception&) {
    aList.clear();
  }
  return !aList.empty();
}

std::size_t LastStringPos(UStringView aSub, UStringView aStr) {
  for (std::size_t i = aStr.size(); i >= 1; --i) {
    if (aStr.substr(i - 1, aSub.size()) == aSub) return i;
  }
  return 0;
}

}  // namespace vx
