#pragma once
// The standard message dialogs, with captions and buttons taken from the dialog texts.
#include <optional>

#include "core/ustring.h"

namespace vx {

// The application's title: the executable's file name.
[[nodiscard]] UString ApplicationTitle();

// A modal message with one OK button.
void ShowMessageBox(const UString& caption, const UString& text);
// A message with one OK button and the application's title as caption.
void ShowMessage(const UString& text);
// A Yes/No question, captioned ResourceText("Confirm"); true only for Yes.
[[nodiscard]] bool AskYesNo(const UString& text);
// An input box with OK and ResourceText("Cancel"); nullopt on Cancel.
[[nodiscard]] std::optional<UString> InputQuery(const UString& caption, const UString& prompt,
                                                const UString& value);

}  // namespace vx
