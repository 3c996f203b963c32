#pragma once
// The validation job over the worker link: the host sends the file's path, the worker validates
// it in its own process and answers with the result and, when asked, its log lines.
#include <cstdint>

#include "core/ustring.h"
#include "link/worker_com.h"

namespace vx {

// The job's data on one side of the link. The worker keeps it for the one request it runs; the
// host keeps it on its client object, where the answer branch stores the answer.
struct TValidationJobData {
  std::int32_t FLogLevel = 0;   // worker: the request's level (200: capture the validator's lines)
  UString FXMLValidatonResult;  // worker: the result sent; host: the result received ("OK": valid)
  UString FLog;                 // worker: the lines captured; host: the lines received (TAB-separated)

  // Worker: keeps one validator log line for the answer (TAB characters removed; lines separated
  // by TAB).
  void ToLog(const UString& aLine);
};

// The host's client object for a validation job: the endpoint with the job's data.
class TValidationWorkerCom : public Tvx64BWorkerCom, public TValidationJobData {};

// Plugs the job's request and answer branches into the dispatcher (once per process). The answer
// branch stores an answer only on a TValidationWorkerCom.
void RegisterValidationJob();

// Host: one worker life around one validation request. Empty when the file is valid, otherwise
// the worker's result text; the general failure text when no answer came.
[[nodiscard]] UString SendXMLValidateFile(TValidationWorkerCom& aCom, const UString& aXMLFile,
                                          const UString& aDsc, const UString& aXSD, const UString& aLogLevel);

// The size of a file in bytes (the full 64-bit value); 0 when it cannot be read.
[[nodiscard]] std::uint64_t FileSizeInBytes(const UString& aFile);

}  // namespace vx
