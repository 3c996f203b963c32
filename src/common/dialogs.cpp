#include "common/dialogs.h"

#include "common/system_functions.h"
#include "platform/dialogs.h"
#include "platform/process.h"

namespace vx {

UString ApplicationTitle() {
  const UString& path = platform::ExecutablePath();
  size_t slash = path.rfind(u'/');
  return slash == UString::npos ? path : path.substr(slash + 1);
}

void ShowMessageBox(const UString& caption, const UString& text) {
  (void)platform::Dialogs().ShowMessage(caption, text, {u"OK"});
}

void ShowMessage(const UString& text) {
  ShowMessageBox(ApplicationTitle(), text);
}

bool AskYesNo(const UString& text) {
  return platform::Dialogs().Question(ResourceText(u"Confirm"), text, ResourceText(u"&Yes"),
                                      ResourceText(u"&No"));
}

std::optional<UString> InputQuery(const UString& caption, const UString& prompt, const UString& value) {
  return platform::Dialogs().InputBox(caption, prompt, value, u"OK", ResourceText(u"Cancel"));
}

}  // namespace vx
