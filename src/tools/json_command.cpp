#include "tools/json_command.h"

#include <fstream>
#include <istream>
#include <ostream>

#include "json/read/reformat.h"

namespace {
constexpr char kUsage[] = "Użycie: vxhost json [--indent] [--utc] [PLIK]\n";

// The whole input in one piece: a file of known size is read in one call, a pipe in blocks.
std::string ReadAll(std::istream& in) {
  std::string text;
  const std::istream::pos_type start = in.tellg();
  if (start != std::istream::pos_type(-1) && in.seekg(0, std::ios::end)) {
    const std::istream::pos_type end = in.tellg();
    in.seekg(start);
    if (end != std::istream::pos_type(-1) && end >= start) text.reserve(static_cast<size_t>(end - start));
  }
  in.clear();
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0)
    text.append(block, static_cast<size_t>(in.gcount()));
  return text;
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
