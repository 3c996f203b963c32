#pragma once
// The validation job's entry point: a file path in, the result text out (empty = valid).
#include <functional>

#include "core/ustring.h"
#include "validation/xml_stream.h"

namespace vx {

// aDsc and aXSD travel with a request to the worker; they never reach the engine.
[[nodiscard]] UString IsXMLFIle_Valid(const UString& aXMLFile, const UString& aDsc, const UString& aXSD,
                                      bool aAllowWorker);

// Progress of long validations (bytes read so far), for front ends; unset by default.
inline TStreamProgress ValidationProgress;

}  // namespace vx
