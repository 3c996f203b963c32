#pragma once
// The validation job over the worker link: the host sends the file's path, the worker validates
// it in its own process and answers with the result and, when asked, its log lines.
#include <cstdint>

#include "core/ustring.h"
#include "link/worker_com.h"

namespace vx {

// Plugs the job's request and answer branches into the dispatcher (once per process).
void RegisterValidationJob();

// Host: one worker life around one validation request. Empty when the file is valid, otherwise
// the worker's result text; the general failure text when no answer came.
[[nodiscard]] UString SendXMLValidateFile(Tvx64BWorkerCom& aCom, const UString& aXMLFile, const UString& aDsc,
                                          const UString& aXSD, const UString& aLogLevel);

// Worker: keeps one validator log line for the answer (TAB characters removed; lines separated
// by TAB).
void ToLog(Tvx64BWorkerCom& aCom, const UString& aLine);

// The size of a file in bytes (the full 64-bit value); 0 when it cannot be read.
[[nodiscard]] std::uint64_t FileSizeInBytes(const UString& aFile);

}  // namespace vx
