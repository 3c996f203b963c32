#pragma once
// vxhost's services for the host library: the log and the user's messages on standard error.
#include <cstdint>
#include <memory>
#include <ostream>

namespace vx::tools {

// Installs them for the life of the object. Log lines with a level up to `logLevel` are written
// when `verbose` is set; `logLevel` is also the level the host reports to the worker. Messages
// are written as they come, errors after "Błąd: ".
class TStderrServices {
 public:
  TStderrServices(std::int32_t logLevel, bool verbose, std::ostream& err);
  ~TStderrServices();
  TStderrServices(const TStderrServices&) = delete;
  TStderrServices& operator=(const TStderrServices&) = delete;

 private:
  class TLog;
  std::unique_ptr<TLog> FLog;  // the library does not own its logger
};

}  // namespace vx::tools
