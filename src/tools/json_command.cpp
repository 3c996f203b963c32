#include "tools/json_command.h"

#include <fstream>
#include <istream>
#include <iterator>
#include <ostream>

#include "json/json_reformat.h"

namespace {
constexpr char kUsage[] = "Użycie: vxhost json [--indent] [--utc] [PLIK]\n";

std::string ReadAll(std::istream& in) {
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

int RunJsonCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  bool indent = false;
  bool utc = false;
  const std::string* file = nullptr;
  for (const std::string& arg : args) {
    if (arg == "--indent") {
      indent = true;
    } else if (arg == "--utc") {
      utc = true;
    } else if ((arg.size() > 1 && arg[0] == '-') || file != nullptr) {
      err << kUsage;
      return 2;
    } else {
      file = &arg;
    }
  }
  std::string text;
  if (file == nullptr || *file == "-") {
    text = ReadAll(in);
  } else {
    std::ifstream f(*file, std::ios::binary);
    if (!f) {
      err << "vxhost json: nie można odczytać pliku " << *file << '\n';
      return 2;
    }
    text = ReadAll(f);
  }
  return vx::json::ReformatJSON(text, indent, utc, out, err);
}
