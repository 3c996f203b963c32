#include "common/global_interface.h"

#include "platform/debug_channel.h"
#include "platform/dialogs.h"
#include "platform/process.h"

namespace vx {

namespace {
void ShowMessageBox(const UString& text) {
  (void)platform::Dialogs().MessageBox(ApplicationTitle(), text, {u"OK"});
}
}  // namespace

void DoLog(const UString& text, std::int32_t level) {
  if (SHelp != nullptr) SHelp->DoLog(text, level);
}

std::int32_t GetLoglevel() { return SHelp != nullptr ? SHelp->FLogLevel : 0; }

void DoDebugLog(UStringView text) { platform::OutputDebugStringA(UToAnsi(text)); }

void Inf_Lite(const UString& text) {
  if (Messages) {
    Messages->Inf_OLite(text);
  } else {
    ShowMessageBox(text);
  }
}

void BladOk_Lite(const UString& text) {
  if (Messages) {
    Messages->BladOk_OLite(text);
  } else {
    ShowMessageBox(text);
  }
}

UString ApplicationTitle() {
  UStringView path = platform::ExecutablePath();
  if (std::size_t slash = path.rfind(u'/'); slash != UStringView::npos) path.remove_prefix(slash + 1);
  if (std::size_t dot = path.rfind(u'.'); dot != UStringView::npos && dot > 0) path = path.substr(0, dot);
  return UString(path);
}

}  // namespace vx
