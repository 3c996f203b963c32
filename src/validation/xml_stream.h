#pragma once
// One streaming pass over a document with libxml2's push parser: well-formedness, the namespaces
// the document uses and, when a schema set is given, validity, in memory that does not grow with
// the document.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/ustring.h"
#include "validation/xml_source.h"

struct _xmlSchema;

namespace vx {

struct TStreamOutcome {
  UString structureError;               // first error of the parser; the document is not well formed
  UString validationError;              // first error of the schema validator
  std::vector<std::string> namespaces;  // namespace URIs in order of first appearance
};

enum class TStreamExtent {
  RootOnly,  // stop after the root element's start tag (its namespaces)
  Whole,
};

// Bounds that keep a hostile document from taking the process down. The defaults can be changed
// with VX64_XML_MAX_DEPTH and VX64_XML_MAX_ENTITY_BYTES.
struct TDocumentLimits {
  std::size_t maxDepth = 10000;                    // open elements at one time
  std::uint64_t maxEntityBytes = 8 * 1024 * 1024;  // text taken from entity references in all
};
[[nodiscard]] TDocumentLimits DocumentLimits();

// Called now and then with the number of bytes read so far.
using TStreamProgress = std::function<void(std::uint64_t bytes)>;

// Reads `source` from its start. `schema` may be null (no validation). Raises platform::EFileError
// when the source cannot be read.
[[nodiscard]] TStreamOutcome StreamDocument(IXmlSource& source, _xmlSchema* schema, TStreamExtent extent,
                                            const TStreamProgress& progress = {},
                                            const TDocumentLimits& limits = DocumentLimits());

}  // namespace vx
