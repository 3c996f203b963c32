#pragma once
// The services a host application installs in the service slots: a logger and a message
// service, both writing to standard error.
#include <cstdint>
#include <ostream>

namespace vx::tools {

// Installs them for the life of the object. Lines with a level up to `logLevel` are written
// when `verbose` is set; `logLevel` is also the level the host reports to the worker.
class THostServices {
 public:
  THostServices(std::int32_t logLevel, bool verbose, std::ostream& err);
  ~THostServices();
  THostServices(const THostServices&) = delete;
  THostServices& operator=(const THostServices&) = delete;
};

}  // namespace vx::tools
