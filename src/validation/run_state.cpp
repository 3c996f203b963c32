#include "validation/run_state.h"

#include "common/global_interface.h"

namespace vx {

void Log(const UString& aMessage) {
  if (DoValidatorLog) {
    DoValidatorLog(aMessage);
  } else {
    DoLog(aMessage, 200);
  }
}

}  // namespace vx
