#pragma once
// Telling schema locations from namespace pages, and collecting the schema links of a page.
#include <cstddef>
#include <string_view>
#include <vector>

#include "core/ustring.h"

namespace vx {

// Whether aURL denotes an XSD schema: by ".XSD" anywhere in it (any case, nothing downloaded);
// an address ending in "/" is not one (nothing downloaded); otherwise by "XSD:SCHEMA" (any case)
// in its text as wGetFileText downloads it.
[[nodiscard]] bool IsXSD(UStringView aURL);

// Appends to aList the schema links of the page at aURL, in page order, and returns whether
// aList is non-empty afterwards. Relative links are appended to aURL as they are. When the page
// cannot be fetched or read, aList is cleared and the answer is false; nothing is raised.
bool GetLinks(UStringView aURL, std::vector<UString>& aList);

// 1-based position of the last occurrence of aSub in aStr (case-sensitive), 0 when none.
[[nodiscard]] std::size_t LastStringPos(UStringView aSub, UStringView aStr);

// The href attributes of the page's anchors in document order; an anchor without one gives the
// empty text. The page is read with libxml2's HTML parser, forgiving any markup errors.
[[nodiscard]] std::vector<UString> AnchorHrefs(std::string_view aHtmlUtf8);

}  // namespace vx
