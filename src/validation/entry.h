#pragma once
// The validation job's entry point: a file path in, the result text out (empty = valid).
#include <cstdint>
#include <functional>

#include "core/ustring.h"
#include "validation/xml_stream.h"

namespace vx {

// aDsc and aXSD travel with a request to the worker; they never reach the engine. A caller that
// allows the worker gets it for files of 100000000 bytes and more (and for every file in a 32-bit
// process on a 64-bit system) when the worker program is present.
[[nodiscard]] UString IsXMLFIle_Valid(const UString& aXMLFile, const UString& aDsc, const UString& aXSD,
                                      bool aAllowWorker);

enum class TValidationMode {
  InProcess,  // never the worker
  Auto,       // the worker when the file's size or the platform calls for it
  Worker,     // always the worker (hosts that want isolation); without one the failure text
              // with the note that the worker cannot be found, and no run in this process
};
[[nodiscard]] UString ValidateXMLFile(const UString& aXMLFile, const UString& aDsc, const UString& aXSD,
                                      TValidationMode aMode);

// Files of this size and more go to the worker.
inline constexpr std::uint64_t kWorkerFileSize = 100000000;

// Progress of long validations (bytes read so far), for front ends; unset by default.
inline TStreamProgress ValidationProgress;

}  // namespace vx
