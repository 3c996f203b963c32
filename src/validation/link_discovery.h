#pragma once
// Telling schema locations from namespace pages, and collecting the schema links of a page.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/ustring.h"

namespace vx {

// What the one download of a location told, kept for the rest of a validation run so that no
// location is fetched twice (the probe of IsXSD and the page of GetLinks share it). Only the
// facts are kept, never the body.
class TPageCache {
 public:
  struct TEntry {
    bool marker = false;         // status 200 and "XSD:SCHEMA" (any case) in the text
    bool page = false;           // usable as a page: status 2xx, https only with a verified certificate
    std::vector<UString> hrefs;  // the page's anchors, when it is usable and not a schema
  };
  // The entry of aURL, downloading it the first time.
  const TEntry& Get(const UString& aURL);
  // Forgets aURL, so that the next Get downloads it again.
  void Forget(const UString& aURL) { FEntries.erase(aURL); }

 private:
  std::unordered_map<UString, TEntry> FEntries;
};

// Whether aURL denotes an XSD schema: by ".XSD" anywhere in it (any case, nothing downloaded);
// an address ending in "/" is not one (nothing downloaded); otherwise by "XSD:SCHEMA" (any case)
// in its text as wGetFileText downloads it.
[[nodiscard]] bool IsXSD(UStringView aURL);

// Appends to aList the schema links of the page at aURL, in page order, and returns whether
// aList is non-empty afterwards. Relative links are appended to aURL as they are. When the page
// cannot be fetched or read, aList is cleared and the answer is false; nothing is raised.
bool GetLinks(UStringView aURL, std::vector<UString>& aList);

// The same, with the downloads of one validation run shared through aCache.
[[nodiscard]] bool IsXSD(UStringView aURL, TPageCache& aCache);
bool GetLinks(UStringView aURL, std::vector<UString>& aList, TPageCache& aCache);

// 1-based position of the last occurrence of aSub in aStr (case-sensitive), 0 when none.
[[nodiscard]] std::size_t LastStringPos(UStringView aSub, UStringView aStr);

// The href attributes of the page's anchors in document order; an anchor without one gives the
// empty text. The page is read with libxml2's HTML parser, forgiving any markup errors, as a
// stream of events: no document tree is built, whatever the page's size.
[[nodiscard]] std::vector<UString> AnchorHrefs(std::string_view aHtmlUtf8);

}  // namespace vx
