// The library as a whole.
#include "vx64/host.h"

namespace vx64 {

const char* Version() {
  return VX64_VERSION;
}

}  // namespace vx64
