#include "commands.h"
#include "vx64/services.h"
#include "vx64/worker_client.h"

namespace vx::tools {

int StatusCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (!args.empty()) {
    err << "vxhost status: polecenie nie przyjmuje argumentów\n";
    return 2;
  }
  vx64::WorkerClient client;
  if (!client.Start64BWorker()) {
    if (!client.ClientStarted()) {
      err << "vxhost status: nie można uruchomić procesu vx64BWorker\n";
    } else {
      err << "vxhost status: proces vx64BWorker nie zgłosił się\n";
      client.Close64BWorker();
    }
    return 2;
  }
  const std::u16string status = client.AskStatus();
  client.Close64BWorker();
  if (status.empty()) {
    err << "vxhost status: proces vx64BWorker nie odpowiedział na pytanie o status\n";
    return 2;
  }
  out << vx64::ToUtf8(status) << "\n";
  return 0;
}

}  // namespace vx::tools
