// vxhost: the host side on the command line. Each command runs what a host application does.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "checked_output.h"
#include "commands.h"
#include "json_command.h"
#include "vx64/validation.h"
#include "vx64/version.h"

namespace {

constexpr const char* kVersion = "vxhost (vx64) " VX64_VERSION "\n";

constexpr const char* kHelp =
    "vxhost (vx64) " VX64_VERSION
    "\n"
    "\n"
    "Użycie: vxhost POLECENIE [OPCJE]\n"
    "\n"
    "Polecenia:\n"
    "  status                 uruchamia proces vx64BWorker, pyta o jego status (CMD_GET_STATUS),\n"
    "                         wypisuje odpowiedź (np. READY) i zamyka proces\n"
    "  validate [--in-process | --worker] [--log-level N] [-v] PLIK...\n"
    "                         waliduje plik XML względem schematów XSD jego przestrzeni nazw;\n"
    "@MODE@"
    "                         wypisuje OK albo opis pierwszego błędu (kod 0 poprawny, 1 niepoprawny,\n"
    "                         3 walidacja niewykonana); -v wypisuje dziennik walidacji na stderr\n"
    "  json [--indent] [--utc] [PLIK]\n"
    "                         czyta tekst JSON (plik lub standardowe wejście) i zapisuje go ponownie\n"
    "  mail [--worker | --dry-run] [--dialog] [--to A]... [--cc A]... [--bcc A]...\n"
    "       [--from A] [--subject S]\n"
    "       [--body T | --body-file F] [--html] [--text-body T] [--attach F]...\n"
    "                         wysyła wiadomość przez bibliotekę klienta poczty (Simple MAPI);\n"
    "                         --dialog otwiera okno redagowania; --worker zawsze przez proces\n"
    "                         vx64BWorker; --dry-run wypisuje tekst JSON wiadomości i nic nie wysyła;\n"
    "                         kod 0 wysłano, 1 nie wysłano\n"
    "                         lub zgłoszono błąd, 2 błąd użycia\n"
    "  POLECENIE --help       opis opcji polecenia\n"
    "  --help                 ta pomoc\n"
    "  --version              wypisuje wersję programu\n"
    "\n"
    "Kody wyjścia: 0 powodzenie, 1 błąd danych lub zapisu na standardowe wyjście, 2 błąd użycia\n"
    "lub brak odpowiedzi procesu vx64BWorker, 3 walidacja niewykonana.\n";

// Without a mode flag a 32-bit host on a 64-bit system hands every file to the worker; any other
// host only the large ones.
constexpr std::string_view kModeMarker = "@MODE@";
constexpr std::string_view kModeBySize =
    "                         bez opcji trybu: pliki od 100000000 bajtów w procesie vx64BWorker,\n"
    "                         mniejsze w tym procesie; --worker zawsze w procesie vx64BWorker;\n";
constexpr std::string_view kModeAllToWorker =
    "                         bez opcji trybu: każdy plik w procesie vx64BWorker (program 32-bitowy\n"
    "                         w systemie 64-bitowym), w tym procesie tylko gdy go brak;\n"
    "                         --worker zawsze w procesie vx64BWorker;\n";

std::string HelpText() {
  std::string text = kHelp;
  text.replace(text.find(kModeMarker), kModeMarker.size(),
               vx64::IsWow64Process() ? kModeAllToWorker : kModeBySize);
  return text;
}

int RunCommand(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::cerr << HelpText();
    return 2;
  }
  const std::string command = args.front();
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << HelpText();
    return 0;
  }
  if (command == "--version") {
    std::cout << kVersion;
    return 0;
  }
  if (command == "validate") return vx::tools::ValidateCommand(rest, std::cout, std::cerr);
  if (command == "status") return vx::tools::StatusCommand(rest, std::cout, std::cerr);
  if (command == "mail") return vx::tools::MailCommand(rest, std::cout, std::cerr);
  if (command == "json") return RunJsonCommand(rest, std::cin, std::cout, std::cerr);
  std::cerr << "vxhost: nieznane polecenie \"" << command << "\" (vxhost --help wypisuje polecenia)\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // Output that does not reach standard output (a full disk, a closed descriptor) is a failure
  // of the command, whatever it found: exit 1 with the reason.
  vx::tools::TCheckedOutput output(stdout);
  std::streambuf* const saved = std::cout.rdbuf(&output);
  // No command ends by an uncaught error: the message goes to stderr and the exit code is 2.
  int code = 2;
  try {
    code = RunCommand(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {  // among them the library's: no message window, no link
    std::cerr << "vxhost: " << e.what() << "\n";
  }
  if (!output.Finish()) {
    std::cerr << "vxhost: błąd zapisu na standardowe wyjście";
    if (output.Error() != 0) std::cerr << ": " << std::strerror(output.Error());
    std::cerr << "\n";
    code = 1;
  }
  std::cout.rdbuf(saved);
  return code;
}
