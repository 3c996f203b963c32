#pragma once
// The host-side commands of vxhost that drive the worker.
#include <ostream>
#include <string>
#include <vector>

namespace vx::tools {

// `vxhost status`: one worker life; prints the status the worker reports.
int StatusCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vx::tools
