#include "commands.h"
#include "options.h"
#include "vx64/services.h"
#include "vx64/worker_client.h"

namespace vx::tools {

namespace {

constexpr char kUsage[] = "Użycie: vxhost status\n";

void PrintHelp(std::ostream& out) {
  out << kUsage
      << "Uruchamia proces vx64BWorker, czeka na jego zgłoszenie, pyta o status (CMD_GET_STATUS),\n"
         "wypisuje odpowiedź (np. READY) i zamyka proces.\n"
         "\n"
         "  -h, --help           wypisuje tę pomoc\n"
         "\n"
         "Kody wyjścia: 0 proces odpowiedział, 2 błąd użycia albo brak odpowiedzi procesu vx64BWorker.\n";
}

}  // namespace

int StatusCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  constexpr TOption kOptions[] = {{"help", false, 'h'}};
  const std::optional<TCommandLine> line = ParseCommandLine("status", args, kOptions, err);
  if (!line) {
    err << kUsage;
    return 2;
  }
  if (!line->options.empty()) {  // --help
    PrintHelp(out);
    return 0;
  }
  if (!line->operands.empty()) {
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
