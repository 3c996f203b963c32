#pragma once
// The options of vxhost's commands, read the GNU way (getopt_long): "--name=VALUE" or "--name
// VALUE", unique abbreviations of long names, combined short options ("-vh"), operands before,
// between and after the options, and "--" ending the options (so "-- -x.xml" names a file).
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vx::tools {

// Ids from here on belong to long options without a short form; below it an id is the option's
// short letter.
inline constexpr int kLongOnly = 256;

struct TOption {
  const char* name;  // the long name without "--"
  bool hasValue;
  int id;  // the short letter, or kLongOnly + n
};

struct TCommandLine {
  struct Given {
    int id;
    std::string value;  // empty for an option without a value
  };
  std::vector<Given> options;  // in the order given
  std::vector<std::string> operands;
};

// Reads the words after "vxhost COMMAND". A usage error (unknown or ambiguous option, a missing
// or unexpected value) is written to `err` as "vxhost COMMAND: ..." and gives nullopt.
[[nodiscard]] std::optional<TCommandLine> ParseCommandLine(std::string_view command,
                                                           const std::vector<std::string>& args,
                                                           std::span<const TOption> options,
                                                           std::ostream& err);

}  // namespace vx::tools
