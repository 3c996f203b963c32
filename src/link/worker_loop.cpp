// Worker side of the link: the main loop that serves the host until it goes or says close.
#include <memory>

#include "common/system_functions.h"
#include "link/worker_com.h"
#include "platform/dialogs.h"
#include "platform/process.h"

namespace vx {

void Tvx64BWorkerCom::WaitForHost() {
  std::vector<UString> args = platform::CommandLineArguments();
  if (args.empty()) return;
  ServeHost(TryUToInt64(args[0]).value_or(0));
}

void Tvx64BWorkerCom::ServeHost(HWND host) {
  CloseRequested = false;
  // The endpoint lives until the process ends and is never released: releasing it would close
  // its peer, that is send a message to someone after the host has gone.
  static Tvx64BWorkerCom* const endpoint = std::make_unique<Tvx64BWorkerCom>().release();
  Tvx64BWorkerCom& com = *endpoint;
  com.SetClientHWND(host);
  (void)com.SendClientReconnect();
  // A job's dialog keeps messages flowing; the worker still ends when its host goes meanwhile.
  platform::SetDialogLifeline([host] { return wWindowExists(host); });

  for (;;) {
    if (CloseRequested) KillCurrentProces();
    if (!wWindowExists(host)) return;
    // Idle: wait up to 10 ms, waking at once when a message arrives.
    if (!PeekAndProcessMsg()) platform::WaitMessageTimeout(10);
  }
}

}  // namespace vx
