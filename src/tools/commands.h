#pragma once
// The host-side commands of vxhost that drive the worker. Each reads its options the GNU way
// (options.h) and, for -h or --help, writes its usage to `out` and returns 0.
#include <ostream>
#include <string>
#include <vector>

namespace vx::tools {

// `vxhost status`: one worker life; prints the status the worker reports.
int StatusCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `vxhost validate [--in-process | --worker] [--log-level=N] [-v] FILE...`: validates each XML file
// and prints "OK" or the result text (one line per file when there are several); exit 0 valid,
// 1 not valid, 3 not done, 2 usage (the worst of the files).
int ValidateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `vxhost mail [--worker | --dry-run] [--dialog] [--to A]... [--cc A]... [--bcc A]... [--from A]
// [--subject S] [--body T | --body-file F] [--html] [--text-body T] [--attach F]...`: sends one
// e-mail through the mail client library (--worker: always through the worker; --dry-run: prints
// the JSON text the hand-off would send and sends nothing); exit 0 sent without an error message,
// 1 not sent or an error reported, 2 usage.
int MailCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vx::tools
