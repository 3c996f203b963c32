// Host side of the link: starting the worker, waiting for it, closing it, and the job pattern.
#include <algorithm>
#include <chrono>

#include "common/system_functions.h"
#include "link/worker_com.h"

namespace vx {

namespace {
// How long one wait step may sleep before the worker's liveness and the bound are checked again.
constexpr int kWaitSliceMs = 20;
}  // namespace

UString WorkerProgram() {
  if (auto program = platform::EnvironmentVariable("VX64_WORKER")) return Utf8ToU(*program);
  return kWorkerExecutable;
}

bool WorkerPresent() {
  return platform::FindProgram(WorkerProgram()).has_value();
}

void Tvx64BWorkerCom::Start64BWorker() {
  TExecuteFileResult started = ExecuteFileEx(0, WorkerProgram(), IntToU(MainHWND()), {});
  FClientStarted = started.result == 0;
  FWorkerProcess = std::move(started.process);
  if (FClientStarted) WaitForClient();
}

bool Tvx64BWorkerCom::WaitForClient() {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(FClientWaitTimeoutMs);
  for (;;) {
    // Queued messages first; the sent ones (the announcement, answers) are handled meanwhile.
    platform::MSG msg;
    while (platform::PeekMessage(msg)) {
      if (msg.message == platform::WM_QUIT) {
        platform::PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the host's loop
        return false;
      }
      platform::TranslateMessage(msg);
      platform::DispatchMessage(msg);
    }
    if (FClientStatus == kStatusReady) return true;
    if (!FClientStarted) return false;
    if (FWorkerProcess && !FWorkerProcess->Running()) {
      DebugLine(u" -> Tvx64BWorkerCom.WaitForClient -> Proces vx64BWorker zakończył się bez odpowiedzi");
      return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      DebugLine(
          u" -> Tvx64BWorkerCom.WaitForClient -> Proces vx64BWorker nie zgłosił się w wyznaczonym czasie");
      return false;
    }
    platform::WaitMessageTimeout(static_cast<int>(std::min<long long>(left, kWaitSliceMs)));
  }
}

void Tvx64BWorkerCom::Close64BWorker() {
  if (platform::IsWindow(ClientHWND())) {
    TStringList empty;
    SendCommand(u"CMD_CLOSE_CLIENT", &empty);
  }
  SetClientHWND(0);
  FClientStatus = kStatusUnknown;
  FClientStarted = false;
}

bool Tvx64BWorkerCom::RunJob(UStringView aCMD, const TStringList& aParams) {
  FStatus = kStatusWaitForClient;
  Start64BWorker();
  if (!WaitForClient()) {
    Close64BWorker();
    return false;
  }
  bool sent = SendCommand(aCMD, &aParams);
  WaitForClient();
  Close64BWorker();
  return sent;
}

}  // namespace vx
