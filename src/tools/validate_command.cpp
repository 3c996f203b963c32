#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "commands.h"
#include "options.h"
#include "stderr_services.h"
#include "vx64/services.h"
#include "vx64/validation.h"

namespace vx::tools {

namespace {

// A signed 32-bit decimal number: an optional "+", then what std::from_chars reads (an optional
// "-" and ASCII digits), nothing else.
std::optional<std::int32_t> ParseLevel(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

struct Options {
  vx64::ValidationMode mode = vx64::ValidationMode::Auto;
  bool verbose = false;
  bool help = false;
  std::optional<std::int32_t> logLevel;
  std::vector<std::string> files;
};

constexpr char kUsage[] = "Użycie: vxhost validate [--in-process | --worker] [--log-level N] [-v] PLIK...\n";

enum : int { kInProcess = kLongOnly, kWorker, kLogLevel };
constexpr TOption kOptions[] = {
    {"in-process", false, kInProcess}, {"worker", false, kWorker}, {"log-level", true, kLogLevel},
    {"verbose", false, 'v'},           {"help", false, 'h'},
};

std::optional<Options> Parse(const std::vector<std::string>& args, std::ostream& err) {
  const std::optional<TCommandLine> line = ParseCommandLine("validate", args, kOptions, err);
  if (!line) return std::nullopt;
  Options o;
  for (const TCommandLine::Given& given : line->options) {
    switch (given.id) {
      case kInProcess:
        o.mode = vx64::ValidationMode::InProcess;
        break;
      case kWorker:
        o.mode = vx64::ValidationMode::Worker;
        break;
      case kLogLevel:
        o.logLevel = ParseLevel(given.value);
        if (!o.logLevel) {
          err << "vxhost validate: --log-level wymaga liczby\n";
          return std::nullopt;
        }
        break;
      case 'v':
        o.verbose = true;
        break;
      case 'h':
        o.help = true;
        break;
      default:
        break;
    }
  }
  o.files = line->operands;
  if (o.files.empty() && !o.help) {
    err << kUsage;
    return std::nullopt;
  }
  return o;
}

void PrintHelp(std::ostream& out) {
  out << kUsage
      << "Waliduje pliki XML względem schematów XSD, do których prowadzą ich przestrzenie nazw,\n"
         "i wypisuje OK albo opis pierwszego błędu; przy kilku plikach jeden wiersz na plik\n"
         "(PLIK: wynik). Każdy plik jest osobnym zadaniem.\n"
         "\n"
         "  --in-process         zawsze w tym procesie\n"
         "  --worker             zawsze w procesie vx64BWorker; gdy nie można go uruchomić,\n"
         "                       walidacja jest niewykonana (kod 3)\n"
         "  --log-level=N        poziom dziennika zgłaszany procesowi roboczemu (200: proces\n"
         "                       odsyła wiersze dziennika walidacji)\n"
         "  -v, --verbose        wypisuje dziennik walidacji na standardowe wyjście błędów\n"
         "                       (poziom 200, o ile --log-level nie mówi inaczej)\n"
         "  -h, --help           wypisuje tę pomoc\n"
         "\n"
      << (vx64::IsWow64Process()
              ? "Bez opcji trybu każdy plik jest walidowany w procesie vx64BWorker (program 32-bitowy\n"
                "w systemie 64-bitowym), a w tym procesie tylko wtedy, gdy go brak.\n"
              : "Bez opcji trybu pliki od 100000000 bajtów są walidowane w procesie vx64BWorker,\n"
                "mniejsze w tym procesie.\n")
      << "Nazwę pliku zaczynającą się od \"-\" podaje się po \"--\".\n"
         "\n"
         "Kody wyjścia: 0 poprawny, 1 niepoprawny, 2 błąd użycia, 3 walidacja niewykonana\n"
         "(brak pliku, nieudana weryfikacja); przy kilku plikach najgorszy z nich.\n";
}

// On a terminal: which file of several is being validated and, for a long file read in this
// process, how far it is.
class Progress {
 public:
  Progress(const std::string& file, std::size_t index, std::size_t count, std::ostream& err) : FErr(err) {
    if (!vx64::StandardErrorIsTerminal()) return;
    if (count > 1) {
      // Appended piece by piece: GCC 12 misreads "literal + string" at -O3.
      FLabel.append("[").append(std::to_string(index + 1)).append("/").append(std::to_string(count));
      FLabel.append("] ").append(file).append(" ");
      Print("");
    }
    // The name as the library reads it: converted to UTF-16 and back.
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(vx64::ToUtf8(vx64::FromUtf8(file)), ec);
    if (ec || size < kShowFrom) return;
    FSize = size;
    vx64::SetValidationProgress([this](std::uint64_t bytes) { Show(bytes); });
  }
  ~Progress() {
    vx64::SetValidationProgress({});
    if (FShown) FErr << "\r\x1b[K" << std::flush;  // the line is cleared again
  }

 private:
  static constexpr std::uintmax_t kShowFrom = 16 * 1024 * 1024;
  void Show(std::uint64_t bytes) {
    int percent = static_cast<int>(bytes * 100 / FSize);
    if (percent == FLast) return;
    FLast = percent;
    Print(std::to_string(percent) + "% ");
  }
  void Print(const std::string& tail) {
    FShown = true;
    FErr << "\r\x1b[KWalidacja: " << FLabel << tail << std::flush;
  }
  std::ostream& FErr;
  std::string FLabel;
  std::uint64_t FSize = 0;
  int FLast = -1;
  bool FShown = false;
};

constexpr std::u16string_view kNoFile = u"Brak pliku do walidacji o nazwie: ";

// 0 valid, 1 not valid, 3 not validated (missing file, failure).
int ExitCode(const std::u16string& result) {
  if (result.empty()) return 0;
  const bool notDone = result.starts_with(kNoFile) || result.starts_with(vx64::ValidationFailedText());
  return notDone ? 3 : 1;
}

// A directory is no file to validate: the library's missing-file result says which it is.
void ExplainDirectory(const std::string& file, std::u16string& result) {
  if (!result.starts_with(kNoFile)) return;
  std::error_code ec;
  if (std::filesystem::is_directory(vx64::ToUtf8(vx64::FromUtf8(file)), ec)) result += u" (to jest katalog)";
}

}  // namespace

int ValidateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::optional<Options> o = Parse(args, err);
  if (!o) return 2;
  if (o->help) {
    PrintHelp(out);
    return 0;
  }
  const std::int32_t level = o->logLevel.value_or(o->verbose ? 200 : 0);
  TStderrServices services(level, o->verbose, err);
  const bool several = o->files.size() > 1;
  int worst = 0;
  // Each file is a job of its own, with its own worker when the worker is used.
  for (std::size_t i = 0; i < o->files.size(); ++i) {
    const std::string& file = o->files[i];
    std::u16string result;
    {
      Progress progress(file, i, o->files.size(), err);
      result = vx64::ValidateXMLFile(vx64::FromUtf8(file), o->mode);
    }
    ExplainDirectory(file, result);
    const int code = ExitCode(result);
    worst = std::max(worst, code);  // 3 > 1 > 0
    if (!several) {
      out << (result.empty() ? "OK" : vx64::ToUtf8(result)) << "\n";
    } else {
      // One line per file: the first line of the result.
      const std::string text =
          result.empty() ? "OK" : vx64::ToUtf8(result.substr(0, result.find_first_of(u"\r\n")));
      out << file << ": " << text << "\n" << std::flush;
    }
    if (!out) break;  // the results can no longer be written; the caller reports why
  }
  return worst;
}

}  // namespace vx::tools
