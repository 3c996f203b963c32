#include <cstdio>
#include <string>

#include "core/ustring.h"
#include "platform/file_ops.h"
#include "platform/process.h"
#include "tools/commands.h"
#include "tools/host_services.h"
#include "validation/entry.h"
#include "validation/run_state.h"

namespace vx::tools {

namespace {

struct Options {
  TValidationMode mode = TValidationMode::Auto;
  bool verbose = false;
  std::optional<std::int32_t> logLevel;
  std::string file;
};

std::optional<Options> Parse(const std::vector<std::string>& args, std::ostream& err) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--in-process") {
      o.mode = TValidationMode::InProcess;
    } else if (a == "--worker") {
      o.mode = TValidationMode::Worker;
    } else if (a == "-v" || a == "--verbose") {
      o.verbose = true;
    } else if (a == "--log-level" && i + 1 < args.size()) {
      auto level = TryUToInt32(Utf8ToU(args[++i]));
      if (!level) {
        err << "vxhost validate: --log-level wymaga liczby\n";
        return std::nullopt;
      }
      o.logLevel = *level;
    } else if (a.rfind("-", 0) == 0 && a.size() > 1) {
      err << "vxhost validate: nieznana opcja \"" << a << "\"\n";
      return std::nullopt;
    } else if (o.file.empty()) {
      o.file = a;
    } else {
      err << "vxhost validate: podaj jeden plik\n";
      return std::nullopt;
    }
  }
  if (o.file.empty()) {
    err << "Użycie: vxhost validate [--in-process | --worker] [--log-level N] [-v] PLIK\n";
    return std::nullopt;
  }
  return o;
}

// A percentage on the terminal while a long file is read.
class Progress {
 public:
  Progress(const UString& file, std::ostream& err) : FErr(err) {
    if (!platform::StandardErrorIsTerminal()) return;
    std::int64_t size = platform::FileSizeOf(file);
    if (size < kShowFrom) return;
    FSize = static_cast<std::uint64_t>(size);
    ValidationProgress = [this](std::uint64_t bytes) { Show(bytes); };
  }
  ~Progress() {
    ValidationProgress = nullptr;
    if (FShown) FErr << "\r                          \r" << std::flush;
  }

 private:
  static constexpr std::int64_t kShowFrom = 16 * 1024 * 1024;
  void Show(std::uint64_t bytes) {
    int percent = static_cast<int>(bytes * 100 / FSize);
    if (percent == FLast) return;
    FLast = percent;
    FShown = true;
    FErr << "\rWalidacja: " << percent << "% " << std::flush;
  }
  std::ostream& FErr;
  std::uint64_t FSize = 0;
  int FLast = -1;
  bool FShown = false;
};

}  // namespace

int ValidateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::optional<Options> o = Parse(args, err);
  if (!o) return 2;
  const std::int32_t level = o->logLevel.value_or(o->verbose ? 200 : 0);
  THostServices services(level, o->verbose, err);
  const UString file = Utf8ToU(o->file);
  UString result;
  {
    Progress progress(file, err);
    result = ValidateXMLFile(file, u"", u"", o->mode);
  }
  if (result.empty()) {
    out << "OK\n";
    return 0;
  }
  out << UToUtf8(result) << "\n";
  const bool notDone =
      result.rfind(u"Brak pliku do walidacji o nazwie: ", 0) == 0 || result.rfind(kValidationFailed, 0) == 0;
  return notDone ? 3 : 1;
}

}  // namespace vx::tools
