#pragma once
// The host-side commands of vxhost that drive the worker.
#include <ostream>
#include <string>
#include <vector>

namespace vx::tools {

// `vxhost status`: one worker life; prints the status the worker reports.
int StatusCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `vxhost validate [--in-process | --worker] [--log-level N] [-v] FILE`: validates one XML file and prints
// "OK" or the result text; exit 0 valid, 1 not valid, 3 not done, 2 usage.
int ValidateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vx::tools
