#include "json_command.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <ostream>

#include "options.h"
#include "vx64/json.h"

namespace {
constexpr char kUsage[] = "Użycie: vxhost json [--indent] [--utc] [PLIK]\n";

void PrintHelp(std::ostream& out) {
  out << kUsage
      << "Czyta tekst JSON (UTF-8) z PLIKU albo, bez niego lub gdy PLIK to \"-\", ze standardowego\n"
         "wejścia, rozpoznaje w nim daty i zapisuje go ponownie na standardowe wyjście.\n"
         "\n"
         "  --indent             z wcięciami (domyślnie zwięźle)\n"
         "  --utc                daty w czasie UTC (domyślnie w czasie lokalnym)\n"
         "  -h, --help           wypisuje tę pomoc\n"
         "\n"
         "Kody wyjścia: 0 zapisano, 1 błąd w tekście albo tekst bez wartości JSON (opis na\n"
         "standardowym wyjściu błędów), 2 błąd użycia lub pliku nie można odczytać.\n";
}

// The whole input in one piece: a file of known size is read into one reservation, a pipe in
// blocks. The size is asked for only after a full first block, since a name that is no file (a
// directory given as standard input) reports a size it cannot deliver.
std::string ReadAll(std::istream& in) {
  std::string text;
  char block[1 << 16];
  bool sized = false;
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    text.append(block, static_cast<size_t>(in.gcount()));
    if (sized || !in) continue;
    sized = true;
    const std::istream::pos_type start = in.tellg();
    if (start != std::istream::pos_type(-1) && in.seekg(0, std::ios::end)) {
      const std::istream::pos_type end = in.tellg();
      in.seekg(start);
      if (end != std::istream::pos_type(-1) && end >= start)
        text.reserve(text.size() + static_cast<size_t>(end - start));
    }
    in.clear();
  }
  return text;
}
}  // namespace

int RunJsonCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  enum : int { kIndent = vx::tools::kLongOnly, kUtc };
  constexpr vx::tools::TOption kOptions[] = {
      {"indent", false, kIndent}, {"utc", false, kUtc}, {"help", false, 'h'}};
  const std::optional<vx::tools::TCommandLine> line =
      vx::tools::ParseCommandLine("json", args, kOptions, err);
  if (!line) {
    err << kUsage;
    return 2;
  }
  bool indent = false;
  bool utc = false;
  for (const vx::tools::TCommandLine::Given& given : line->options) {
    if (given.id == 'h') {
      PrintHelp(out);
      return 0;
    }
    indent = indent || given.id == kIndent;
    utc = utc || given.id == kUtc;
  }
  if (line->operands.size() > 1) {
    err << kUsage;
    return 2;
  }
  std::string text;
  if (line->operands.empty() || line->operands.front() == "-") {
    text = ReadAll(in);
    // Standard input reads through stdio, whose errors the stream does not see.
    if (in.bad() || (&in == &std::cin && std::ferror(stdin) != 0)) {
      err << "vxhost json: nie można odczytać standardowego wejścia\n";
      return 2;
    }
  } else {
    const std::string& file = line->operands.front();
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) {
      err << "vxhost json: nie można odczytać pliku " << file << " (to jest katalog)\n";
      return 2;
    }
    std::ifstream f(file, std::ios::binary);
    if (!f) {
      err << "vxhost json: nie można odczytać pliku " << file << '\n';
      return 2;
    }
    text = ReadAll(f);
    if (f.bad()) {
      err << "vxhost json: nie można odczytać pliku " << file << '\n';
      return 2;
    }
  }
  // A leading byte-order mark is the library's to skip.
  const vx64::ReformatJSONResult result = vx64::ReformatJSON(text, indent, utc, out);
  if (!result.Error.empty()) {
    err << result.Error << '\n';
    return 1;
  }
  if (!result.Written) {
    err << "vxhost json: tekst nie zawiera wartości JSON\n";
    return 1;
  }
  out << '\n';
  return 0;
}
