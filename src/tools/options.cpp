#include "options.h"

#include <getopt.h>

namespace vx::tools {

namespace {

const TOption* ById(std::span<const TOption> options, int id) {
  for (const TOption& o : options) {
    if (o.id == id) return &o;
  }
  return nullptr;
}

// The long names that "--text" (up to a "=") abbreviates.
std::vector<std::string_view> Candidates(std::span<const TOption> options, std::string_view text) {
  std::vector<std::string_view> names;
  if (!text.starts_with("--")) return names;
  text.remove_prefix(2);
  text = text.substr(0, text.find('='));
  for (const TOption& o : options) {
    if (std::string_view(o.name).starts_with(text)) names.emplace_back(o.name);
  }
  return names;
}

}  // namespace

std::optional<TCommandLine> ParseCommandLine(std::string_view command, const std::vector<std::string>& args,
                                             std::span<const TOption> options, std::ostream& err) {
  // A leading ':' makes getopt_long tell a missing value (':') from an unknown option ('?').
  std::string shortOptions = ":";
  std::vector<option> longOptions;
  for (const TOption& o : options) {
    longOptions.push_back({o.name, o.hasValue ? required_argument : no_argument, nullptr, o.id});
    if (o.id < kLongOnly) {
      shortOptions += static_cast<char>(o.id);
      if (o.hasValue) shortOptions += ':';
    }
  }
  longOptions.push_back({nullptr, 0, nullptr, 0});

  // getopt_long reorders the word list it is given: it gets a copy.
  std::string program = "vxhost " + std::string(command);
  std::vector<std::string> words = args;
  std::vector<char*> argv{program.data()};
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(argv.size()) - 1;

  const std::string prefix = program + ": ";
  TCommandLine line;
  opterr = 0;  // the messages below are the program's own
  optind = 0;  // 0 starts the scan afresh, whatever an earlier one left
  for (;;) {
    const int c = getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr);
    if (c == -1) break;
    if (c == ':') {
      const TOption* o = ById(options, optopt);
      const std::string name = o != nullptr && o->id >= kLongOnly
                                   ? "--" + std::string(o->name)
                                   : "-" + std::string(1, static_cast<char>(optopt));
      err << prefix << name << " wymaga wartości\n";
      return std::nullopt;
    }
    if (c == '?') {
      if (optopt == 0) {  // a long option: unknown or an ambiguous abbreviation
        const std::string text = argv[optind - 1];
        const std::vector<std::string_view> names = Candidates(options, text);
        if (names.size() > 1) {
          err << prefix << "niejednoznaczna opcja \"" << text << "\" (możliwe:";
          for (std::string_view n : names) err << " --" << n;
          err << ")\n";
        } else {
          err << prefix << "nieznana opcja \"" << text << "\"\n";
        }
      } else if (const TOption* o = ById(options, optopt); o != nullptr) {
        err << prefix << "opcja --" << o->name << " nie przyjmuje wartości\n";
      } else {
        err << prefix << "nieznana opcja \"-" << static_cast<char>(optopt) << "\"\n";
      }
      return std::nullopt;
    }
    line.options.push_back({c, optarg != nullptr ? optarg : ""});
  }
  for (int i = optind; i < argc; ++i) line.operands.emplace_back(argv[i]);
  return line;
}

}  // namespace vx::tools
