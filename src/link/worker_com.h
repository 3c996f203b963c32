#pragma once
// Tvx64BWorkerCom: the command endpoint used on both sides of the link. Its dispatcher answers
// the link's own commands (announcement, status, close) and hands job commands to the job
// branches registered by the jobs; the host-side operations start the worker, wait for it and
// close it.
#include <chrono>
#include <functional>
#include <optional>

#include "link/proc_com_msg.h"
#include "platform/process.h"

namespace vx {

inline constexpr char16_t kStatusReady[] = u"READY";
inline constexpr char16_t kStatusExecuting[] = u"EXECUTING";
inline constexpr char16_t kStatusWaitForClient[] = u"WAIT_FOR_CLIENT";
inline constexpr char16_t kStatusUnknown[] = u"UNKONOWN";

inline constexpr char16_t kWorkerExecutable[] = u"vx64BWorker.EXE";

// The worker program the host starts: "vx64BWorker.EXE", found beside the host's executable (the
// build tree), then in <libexecdir>/vx64/ of the install the host's code belongs to (never in the
// current directory: see platform::FindProgram); or the program named by the environment
// variable VX64_WORKER (hosts that keep the worker elsewhere, and tests).
[[nodiscard]] UString WorkerProgram();
// True when the worker program can be found, by the same lookup as its start.
[[nodiscard]] bool WorkerPresent();

// Set by CMD_CLOSE_CLIENT; the worker's loop ends the process when it sees it.
inline bool CloseRequested = false;

class Tvx64BWorkerCom;

// A job plugged into the dispatcher. The request branch runs on the worker under the busy rule
// and may send one answer; the answer branch runs on the host and stores the answer; the
// end-of-command step runs after every command, whichever branch ran. A branch returns the
// dispatcher's result (true: handled).
struct TJobBranch {
  UString Request;
  UString Answer;
  std::function<bool(Tvx64BWorkerCom& com, const TStringList& aParams, TStringList& answer)> OnRequest;
  std::function<bool(Tvx64BWorkerCom& com, const TStringList& aParams)> OnAnswer;
  std::function<void(Tvx64BWorkerCom& com)> OnEndOfCommand;
};

// Adds a job to the process-wide table (a job with the same request name is replaced).
void RegisterJobBranch(TJobBranch branch);

class Tvx64BWorkerCom : public TvxProcComMsg {
 public:
  Tvx64BWorkerCom();
  ~Tvx64BWorkerCom() override;

  // The worker's whole life with its host: announce, serve commands, end with the host.
  static void WaitForHost();
  // The same for a host window given directly.
  static void ServeHost(HWND host);

  // Host side: start the worker and wait for its announcement.
  void Start64BWorker();
  // Host side: waits until the worker has announced itself, within one bound counted from the
  // start. Returns false when the started worker ended, did not announce itself within the
  // bound (it is then ended), or the quit message arrived; the failure is logged once.
  bool WaitForClient() override;
  // Host side: tells a connected worker to close and forgets it.
  void Close64BWorker();
  // The job pattern: start the worker, wait, send one request, wait, close. False when the
  // worker never announced itself, the request could not be sent, or the worker did not answer
  // within the request bound; in the last two cases the worker is ended (or reaped) first.
  bool RunJob(UStringView aCMD, const TStringList& aParams);

  [[nodiscard]] const UString& Status() const { return FStatus; }
  void SetStatus(UString s) { FStatus = std::move(s); }
  [[nodiscard]] const UString& ClientStatus() const { return FClientStatus; }
  void SetClientStatus(UString s) { FClientStatus = std::move(s); }
  [[nodiscard]] bool ClientStarted() const { return FClientStarted; }
  // Bound for the wait for the worker's announcement, in milliseconds (default 30 s).
  void SetClientWaitTimeout(int ms) { FClientWaitTimeoutMs = ms; }
  // Bound for one request of the job pattern, in milliseconds (default 30 min: a job may wait
  // for the user in a dialog).
  void SetRequestTimeout(int ms) { FRequestTimeoutMs = ms; }
  // The worker process of the last start (kept after closing, replaced by the next start).
  [[nodiscard]] platform::Process* WorkerProcess() { return FWorkerProcess ? &*FWorkerProcess : nullptr; }

 protected:
  bool RunCmd(const UString& aCMD, const TStringList& aParams) override;

 private:
  UString FStatus;
  UString FClientStatus;
  bool FClientStarted = false;
  int FClientWaitTimeoutMs = 30000;
  int FRequestTimeoutMs = 30 * 60 * 1000;
  std::chrono::steady_clock::time_point FClientDeadline{};
  bool FClientGivenUp = false;  // the wait for this start failed and was reported
  std::optional<platform::Process> FWorkerProcess;

  // Ends the started worker process (SIGTERM, then SIGKILL) and reaps it.
  void EndWorkerProcess();
};

// True when the handle is not 0 and names a live window.
[[nodiscard]] bool wWindowExists(HWND handle);

}  // namespace vx
