#pragma once
// The host's side of the worker link: one object starts a worker, sends it one job and closes it.
// Everything runs on the thread that created the object; while it waits the thread handles the
// messages sent to its own windows.
#include <memory>
#include <string>

#include "vx64/export.h"

namespace vx64 {

// The worker program the host starts: "vx64BWorker.EXE", looked up beside the running program,
// then in the installed <libexecdir>/vx64/ of the install this library belongs to (".exe" and
// letter case ignored; never in the current directory), or the program named by the environment
// variable VX64_WORKER.
[[nodiscard]] VX64_HOST_API std::u16string WorkerProgram();
// True when the worker program can be found, by the same lookup as its start.
[[nodiscard]] VX64_HOST_API bool WorkerPresent();

class VX64_HOST_API WorkerClient {
 public:
  // Raises a std::exception when its message window cannot be made.
  WorkerClient();
  ~WorkerClient();  // closes a connected worker
  WorkerClient(const WorkerClient&) = delete;
  WorkerClient& operator=(const WorkerClient&) = delete;

  // Starts the worker and waits for its announcement; false when it did not start or announce
  // itself within the bound (SetClientWaitTimeout, default 30 s).
  bool Start64BWorker();
  // Asks a started worker for its status ("READY" when idle); empty when no answer came.
  [[nodiscard]] std::u16string AskStatus();
  // Tells a connected worker to close and forgets it.
  void Close64BWorker();
  // One worker life around one validation: empty when the file is valid, otherwise the worker's
  // result text ("Nie powiodła się weryfikacja pliku XML." when no answer came). `aLogLevel` 200
  // has the worker send its validator's lines back; they go to the installed logger at level 0.
  [[nodiscard]] std::u16string SendXMLValidateFile(const std::u16string& aXMLFile, const std::u16string& aDsc,
                                                   const std::u16string& aXSD,
                                                   const std::u16string& aLogLevel);

  // This host's status and the worker's ("READY", "WAIT_FOR_CLIENT", "UNKONOWN", ...).
  [[nodiscard]] std::u16string Status() const;
  [[nodiscard]] std::u16string ClientStatus() const;
  [[nodiscard]] bool ClientStarted() const;
  void SetClientWaitTimeout(int milliseconds);

 private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
};

}  // namespace vx64
