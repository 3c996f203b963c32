#include "validation/link_discovery.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
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

struct TFreeParser {
  void operator()(htmlParserCtxt* aCtxt) const { htmlFreeParserCtxt(aCtxt); }
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

// The SAX start-element handler: the href of every anchor, in document order.
void OnStartElement(void* aCtxt, const xmlChar* aName, const xmlChar** aAttributes) {
  auto* ctxt = static_cast<htmlParserCtxt*>(aCtxt);
  auto* hrefs = static_cast<std::vector<UString>*>(ctxt->_private);
  if (aName == nullptr || xmlStrcasecmp(aName, reinterpret_cast<const xmlChar*>("a")) != 0) return;
  UString href;
  for (const xmlChar** a = aAttributes; a != nullptr && a[0] != nullptr; a += 2) {
    if (xmlStrcasecmp(a[0], reinterpret_cast<const xmlChar*>("href")) == 0) {
      if (a[1] != nullptr) href = Utf8ToU(reinterpret_cast<const char*>(a[1]));
      break;
    }
  }
  hrefs->push_back(std::move(href));
}

}  // namespace

std::vector<UString> AnchorHrefs(std::string_view aHtmlUtf8) {
  const TQuietStructuredErrors quiet;
  htmlSAXHandler sax{};
  sax.startElement = &OnStartElement;
  std::unique_ptr<htmlParserCtxt, TFreeParser> ctxt(
      htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8));
  if (ctxt == nullptr) throw std::bad_alloc();
  std::vector<UString> hrefs;
  ctxt->_private = &hrefs;
  htmlCtxtUseOptions(ctxt.get(),
                     HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_RECOVER);
  constexpr std::size_t kChunk = 256 * 1024;
  for (std::size_t pos = 0; pos < aHtmlUtf8.size(); pos += kChunk) {
    const std::size_t n = std::min(kChunk, aHtmlUtf8.size() - pos);
    htmlParseChunk(ctxt.get(), aHtmlUtf8.data() + pos, static_cast<int>(n), 0);
  }
  htmlParseChunk(ctxt.get(), nullptr, 0, 1);
  return hrefs;
}

const TPageCache::TEntry& TPageCache::Get(const UString& aURL) {
  if (auto it = FEntries.find(aURL); it != FEntries.end()) return it->second;
  TEntry entry;
  try {
    const TLocationAnswer answer = FetchLocation(UToUtf8(aURL));
    entry.marker = answer.ok && answer.status == 200 && ContainsNoCase(answer.body, "XSD:SCHEMA");
    entry.page = answer.error.empty();
    if (entry.page && !entry.marker) entry.hrefs = AnchorHrefs(answer.body);
  } catch (const std::exception&) {
    entry = TEntry{};  // nothing usable came
  }
  return FEntries.emplace(aURL, std::move(entry)).first->second;
}

bool IsXSD(UStringView aURL) {
  TPageCache cache;
  return IsXSD(aURL, cache);
}

bool GetLinks(UStringView aURL, std::vector<UString>& aList) {
  TPageCache cache;
  return GetLinks(aURL, aList, cache);
}

bool IsXSD(UStringView aURL, TPageCache& aCache) {
  const UString upper = AsciiUpperText(aURL);
  if (Contains(upper, u".XSD")) return true;
  if (!upper.empty() && upper.back() == u'/') return false;
  return aCache.Get(UString(aURL)).marker;
}

bool GetLinks(UStringView aURL, std::vector<UString>& aList, TPageCache& aCache) {
  try {
    const TPageCache::TEntry& entry = aCache.Get(UString(aURL));
    if (!entry.page) throw std::runtime_error("page not fetched");
    for (UString h : entry.hrefs) {
      // The links are read as a browser document written from text (not loaded from its address)
      // reports them: "./name" comes out as "about:./name", and that prefix is removed, so such a
      // link becomes the page address followed by the name. Other relative forms (a bare name,
      // "../name", "/name") are raw attribute texts and are appended to the page address as they
      // are.
      if (h.starts_with(u"./")) h.insert(0, u"about:");
      RemoveAll(h, u"about:./");
      const UString upper = AsciiUpperText(h);
      if (!Contains(upper, u"HTTP:") && !Contains(upper, u"HTTPS:")) h.insert(0, aURL);
      if (IsXSD(h, aCache)) aList.push_back(std::move(h));
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
