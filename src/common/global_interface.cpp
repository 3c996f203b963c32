#include "common/global_interface.h"

#include "common/dialogs.h"
#include "platform/debug_channel.h"

namespace vx {

void DoLog(const UString& text, std::int32_t level) {
  if (SHelp != nullptr) SHelp->DoLog(text, level);
}

std::int32_t GetLoglevel() {
  return SHelp != nullptr ? SHelp->FLogLevel : 0;
}

void DoDebugLog(UStringView text) {
  platform::WriteDebugLineAnsi(UToAnsi(text));
}

void Inf_Lite(const UString& text) {
  if (Messages) {
    Messages->Inf_OLite(text);
  } else {
    ShowMessage(text);
  }
}

void BladOk_Lite(const UString& text) {
  if (Messages) {
    Messages->BladOk_OLite(text);
  } else {
    ShowMessage(text);
  }
}

}  // namespace vx
