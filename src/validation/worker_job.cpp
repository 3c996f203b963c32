#include "validation/worker_job.h"

#include <chrono>
#include <mutex>

#include "common/global_interface.h"
#include "common/system_functions.h"
#include "platform/file_ops.h"
#include "platform/window.h"
#include "validation/entry.h"
#include "validation/run_state.h"

namespace vx {

namespace {

constexpr char16_t kRequest[] = u"CMD_RUN_XML_VALIDATION";
constexpr char16_t kAnswer[] = u"CMD_GET_XML_VALIDATION_RESULT";
constexpr char16_t kToLog[] = u"CMD_TO_LOG";

// While the job runs the worker's loop does not look at its host. A host that ends meanwhile
// leaves nobody to answer, so the worker ends as its loop would, checked between chunks of the
// document at most every 20 ms.
class THostWatch {
 public:
  explicit THostWatch(HWND aHost) : FSaved(std::move(ValidationProgress)) {
    ValidationProgress = [this, aHost](std::uint64_t bytes) {
      if (FSaved) FSaved(bytes);
      const auto now = std::chrono::steady_clock::now();
      if (now - FLast < std::chrono::milliseconds(20)) return;
      FLast = now;
      if (aHost != 0 && !platform::WindowExists(aHost)) KillCurrentProces();
    };
  }
  ~THostWatch() { ValidationProgress = std::move(FSaved); }
  THostWatch(const THostWatch&) = delete;
  THostWatch& operator=(const THostWatch&) = delete;

 private:
  TStreamProgress FSaved;
  std::chrono::steady_clock::time_point FLast = std::chrono::steady_clock::now();
};

bool RunRequest(Tvx64BWorkerCom& com, const TStringList& params, TStringList& answer) {
  // The request's data lives as long as the request: the capture hook is unset at the end of
  // every command, this one's included.
  TValidationJobData job;
  const UString file = params.Value(u"XMLFILE");
  const UString dsc = params.Value(u"DSC");
  const UString xsd = params.Value(u"XSD");
  job.FLogLevel = TryUToInt32(params.Value(u"LOG_LEVEL")).value_or(0);
  if (job.FLogLevel == 200) DoValidatorLog = [&job](const UString& line) { job.ToLog(line); };
  {
    const THostWatch watch(com.ClientHWND());
    job.FXMLValidatonResult = IsXMLFIle_Valid(file, dsc, xsd, false);
  }
  if (job.FXMLValidatonResult.empty()) job.FXMLValidatonResult = u"OK";
  answer.SetValue(kAnswer, job.FXMLValidatonResult);
  answer.SetValue(kToLog, job.FLog);
  com.SetStatus(kStatusReady);
  com.SendCommand(kAnswer, &answer);
  return true;
}

bool StoreAnswer(Tvx64BWorkerCom& com, const TStringList& params) {
  auto* validationCom = dynamic_cast<TValidationWorkerCom*>(&com);
  if (validationCom == nullptr) return false;  // no validation job waits on this endpoint
  validationCom->FXMLValidatonResult = params.Value(kAnswer);
  validationCom->FLog = params.Value(kToLog);
  com.SetClientStatus(kStatusReady);
  return true;
}

// Replays the worker's lines into the host's log: one line per TAB-separated part; an empty
// part after a final TAB is not a line.
void Replay(const UString& captured) {
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = captured.find(u'\t', start);
    if (tab == UString::npos) {
      if (start < captured.size()) DoLog(captured.substr(start), 0);
      return;
    }
    DoLog(captured.substr(start, tab - start), 0);
    start = tab + 1;
  }
}

}  // namespace

void RegisterValidationJob() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterJobBranch(TJobBranch{kRequest, kAnswer, &RunRequest, &StoreAnswer,
                                 [](Tvx64BWorkerCom&) { DoValidatorLog = nullptr; }});
  });
}

UString SendXMLValidateFile(TValidationWorkerCom& aCom, const UString& aXMLFile, const UString& aDsc,
                            const UString& aXSD, const UString& aLogLevel) {
  RegisterValidationJob();
  // Only an answer to this request counts: what an earlier job left behind is dropped.
  aCom.FXMLValidatonResult.clear();
  aCom.FLog.clear();
  TStringList params;
  params.SetValue(u"XMLFILE", aXMLFile);
  params.SetValue(u"DSC", aDsc);
  params.SetValue(u"XSD", aXSD);
  params.SetValue(u"LOG_LEVEL", aLogLevel);
  (void)aCom.RunJob(kRequest, params);
  if (aCom.FXMLValidatonResult.empty()) {
    DoLog(u"Walidacja XML: W trybie 64-bit brak odpowiedzi procesu vx64BWorker.", 200);
    return kValidationFailed;
  }
  UString result = aCom.FXMLValidatonResult == u"OK" ? UString() : aCom.FXMLValidatonResult;
  Replay(aCom.FLog);
  return result;
}

void TValidationJobData::ToLog(const UString& aLine) {
  UString cleaned;
  cleaned.reserve(aLine.size());
  for (char16_t c : aLine) {
    if (c != u'\t') cleaned.push_back(c);
  }
  if (FLog.empty()) {
    FLog = std::move(cleaned);
  } else {
    FLog.push_back(u'\t');
    FLog.append(cleaned);
  }
}

std::uint64_t FileSizeInBytes(const UString& aFile) {
  const std::int64_t size = platform::FileSizeOf(aFile);
  return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace vx
