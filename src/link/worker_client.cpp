// Host side of the link: starting the worker, waiting for it, closing it, and the job pattern.
#include <algorithm>
#include <chrono>

#include "common/system_functions.h"
#include "link/worker_com.h"

namespace vx {

namespace {
// How long one wait step may sleep before the worker's liveness and the bound are checked again.
constexpr int kWaitSliceMs = 20;
// How long a worker told to end may take before it is killed.
constexpr std::chrono::milliseconds kEndGrace{1000};
}  // namespace

UString WorkerProgram() {
  if (auto program = platform::EnvironmentVariable("VX64_WORKER")) return Utf8ToU(*program);
  return kWorkerExecutable;
}

bool WorkerPresent() {
  return platform::FindProgram(WorkerProgram()).has_value();
}

void Tvx64BWorkerCom::Start64BWorker() {
  // One bound for the announcement, however often the job waits for it.
  FClientDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(FClientWaitTimeoutMs);
  FClientGivenUp = false;
  TExecuteFileResult started = ExecuteFileEx(0, WorkerProgram(), IntToU(MainHWND()), {});
  FClientStarted = started.result == 0;
  FWorkerProcess = std::move(started.process);
  if (FClientStarted) WaitForClient();
}

bool Tvx64BWorkerCom::WaitForClient() {
  using Clock = std::chrono::steady_clock;
  for (;;) {
    // Queued messages first; the sent ones (the announcement, answers) are handled meanwhile.
    platform::WindowMessage msg;
    while (platform::PeekNextMessage(msg)) {
      if (msg.message == platform::kMsgQuit) {
        platform::PostQuit(static_cast<int>(msg.wParam));  // leave it for the host's loop
        return false;
      }
      platform::TranslateWindowMessage(msg);
      platform::DispatchWindowMessage(msg);
    }
    if (FClientStatus == kStatusReady) return true;
    if (!FClientStarted || FClientGivenUp) return false;
    if (FWorkerProcess && !FWorkerProcess->Running()) {
      FClientGivenUp = true;
      DebugLine(u" -> Tvx64BWorkerCom.WaitForClient -> Proces vx64BWorker zakończył się bez odpowiedzi");
      return false;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(FClientDeadline - Clock::now()).count();
    if (left <= 0) {
      FClientGivenUp = true;
      DebugLine(
          u" -> Tvx64BWorkerCom.WaitForClient -> Proces vx64BWorker nie zgłosił się w wyznaczonym czasie");
      EndWorkerProcess();
      return false;
    }
    platform::WaitMessageTimeout(static_cast<int>(std::min<long long>(left, kWaitSliceMs)));
  }
}

void Tvx64BWorkerCom::EndWorkerProcess() {
  if (FWorkerProcess) (void)FWorkerProcess->End(kEndGrace);
}

void Tvx64BWorkerCom::Close64BWorker() {
  const platform::WindowHandle worker = ClientHWND();
  if (platform::WindowExists(worker)) {
    TStringList empty;
    SendCommand(u"CMD_CLOSE_CLIENT", &empty);
  }
  // The worker ends now: its kept connection has no further use.
  if (worker != 0) platform::ForgetWindow(worker);
  SetClientHWND(0);
  FClientStatus = kStatusUnknown;
  FClientStarted = false;
}

bool Tvx64BWorkerCom::RunJob(UStringView aCMD, const TStringList& aParams) {
  FStatus = kStatusWaitForClient;
  Start64BWorker();
  if (!WaitForClient()) {
    EndWorkerProcess();  // also one left behind by a quit message: it would live as long as this window
    Close64BWorker();
    return false;
  }
  // The send returns when the worker answers or ends; one that does neither within the request
  // bound is given up and the worker ended.
  const auto bound = std::chrono::steady_clock::now() + std::chrono::milliseconds(FRequestTimeoutMs);
  SetSendTimeout(FRequestTimeoutMs);
  bool sent = SendCommand(aCMD, &aParams);
  SetSendTimeout(-1);
  if (!sent) {
    if (std::chrono::steady_clock::now() >= bound)
      DebugLine(u" -> Tvx64BWorkerCom.RunJob -> Proces vx64BWorker nie odpowiedział w wyznaczonym czasie");
    // A worker that failed its request is ended, and one that died in it is reaped, before the
    // job returns: none outlives the job.
    EndWorkerProcess();
  }
  WaitForClient();
  Close64BWorker();
  return sent;
}

}  // namespace vx
