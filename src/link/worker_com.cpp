#include "link/worker_com.h"

#include <vector>

namespace vx {

namespace {

std::vector<TJobBranch>& JobBranches() {
  static std::vector<TJobBranch> branches;
  return branches;
}

}  // namespace

void RegisterJobBranch(TJobBranch branch) {
  auto& table = JobBranches();
  std::erase_if(table, [&](const TJobBranch& b) { return EqualNoCase(b.Request, branch.Request); });
  table.push_back(std::move(branch));
}

Tvx64BWorkerCom::Tvx64BWorkerCom() : FStatus(kStatusReady), FClientStatus(kStatusUnknown) {}

Tvx64BWorkerCom::~Tvx64BWorkerCom() {
  Close64BWorker();
}

bool Tvx64BWorkerCom::RunCmd(const UString& aCMD, const TStringList& aParams) {
  bool result = TvxProcComMsg::RunCmd(aCMD, aParams);
  const std::vector<TJobBranch>& branches = JobBranches();
  // The jobs' end-of-command steps run on every way out, a dropped request or an error included.
  struct EndOfCommand {
    Tvx64BWorkerCom& com;
    const std::vector<TJobBranch>& branches;
    ~EndOfCommand() {
      for (const TJobBranch& b : branches) {
        if (b.OnEndOfCommand) b.OnEndOfCommand(com);
      }
    }
  } endOfCommand{*this, branches};
  TStringList answer;

  if (EqualNoCase(aCMD, u"CLIENTRECONNECT")) {
    FStatus = kStatusReady;
    FClientStatus = kStatusReady;
    return true;
  }
  if (EqualNoCase(aCMD, u"CMD_GET_STATUS")) {
    answer.SetValue(u"STATUS", FStatus);
    SendCommand(u"CMD_GET_STATUS_RESULT", &answer);
    return true;
  }
  if (EqualNoCase(aCMD, u"CMD_GET_STATUS_RESULT")) {
    FClientStatus = aParams.Value(u"STATUS");
    FStatus = kStatusReady;
    return true;
  }
  if (EqualNoCase(aCMD, u"CMD_CLOSE_CLIENT")) {
    CloseRequested = true;
    return result;
  }
  for (const TJobBranch& b : branches) {
    if (EqualNoCase(aCMD, b.Request)) {
      if (FStatus == kStatusExecuting) return result;  // busy: dropped without an answer
      FStatus = kStatusExecuting;
      return b.OnRequest ? b.OnRequest(*this, aParams, answer) : result;
    }
    if (EqualNoCase(aCMD, b.Answer)) return b.OnAnswer ? b.OnAnswer(*this, aParams) : result;
  }
  return result;
}

bool wWindowExists(HWND handle) {
  return handle != 0 && platform::WindowExists(handle);
}

}  // namespace vx
