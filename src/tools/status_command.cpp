#include "link/worker_com.h"
#include "tools/commands.h"

namespace vx::tools {

int StatusCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (!args.empty()) {
    err << "vxhost status: polecenie nie przyjmuje argumentów\n";
    return 2;
  }
  Tvx64BWorkerCom com;
  com.SetStatus(kStatusWaitForClient);
  com.Start64BWorker();
  if (!com.ClientStarted()) {
    err << "vxhost status: nie można uruchomić procesu vx64BWorker\n";
    return 2;
  }
  if (!com.WaitForClient()) {
    err << "vxhost status: proces vx64BWorker nie zgłosił się\n";
    com.Close64BWorker();
    return 2;
  }
  // Only a status that arrives as the answer counts.
  com.SetClientStatus(u"");
  TStringList none;
  bool sent = com.SendCommand(u"CMD_GET_STATUS", &none);
  const UString status = com.ClientStatus();
  com.Close64BWorker();
  if (!sent || status.empty()) {
    err << "vxhost status: proces vx64BWorker nie odpowiedział na pytanie o status\n";
    return 2;
  }
  out << UToUtf8(status) << "\n";
  return 0;
}

}  // namespace vx::tools
