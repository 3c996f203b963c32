#pragma once
// The validation engine: one document against the schemas its namespaces lead to.
#include "core/ustring.h"
#include "validation/xml_source.h"
#include "validation/xml_stream.h"

namespace vx {

// Validates the document read from `source`. The result is empty when the document is valid,
// otherwise the first error as the parser or the validator reports it, or the failure text.
// aNamespace and aXSD, when both are given, are the only pair resolved. Raises
// platform::EFileError when the source cannot be read.
[[nodiscard]] UString IsXML_Valid(IXmlSource& source, const UString& aNamespace, const UString& aXSD,
                                  const TStreamProgress& progress = {});
// The same for a document given as text.
[[nodiscard]] UString IsXML_Valid(const UString& aXML, const UString& aNamespace, const UString& aXSD);

}  // namespace vx
