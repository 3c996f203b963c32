#pragma once
// The dialog service: message box, yes/no question and input box. Captions and button texts
// are given by the caller (the Polish texts of the dialog table).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx::platform {

class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  // Shows a modal message with the given buttons; returns the index of the chosen button, or -1
  // when the dialog could not be shown or was dismissed.
  virtual int ShowMessage(const std::u16string& caption, const std::u16string& text,
                          const std::vector<std::u16string>& buttons) = 0;
  // Yes/No question; true only for Yes. By default a message box with the two buttons.
  virtual bool Question(const std::u16string& caption, const std::u16string& text, const std::u16string& yes,
                        const std::u16string& no) {
    return ShowMessage(caption, text, {yes, no}) == 0;
  }
  // Input box with a prompt and an initial value; nullopt on Cancel.
  virtual std::optional<std::u16string> InputBox(const std::u16string& caption, const std::u16string& prompt,
                                                 const std::u16string& value, const std::u16string& ok,
                                                 const std::u16string& cancel) = 0;
};

// The service in use. Chosen on first use from VX64_DIALOGS ("zenity", "kdialog", "tty",
// "none", "script:<file>") or, when unset, from the environment: zenity or kdialog when a display
// is present, a terminal prompt when standard input is a terminal, otherwise non-interactive
// (the text goes to standard error, the answer is No / Cancel).
[[nodiscard]] UserDialogs& Dialogs();
// Replaces the service (tests install a scripted one); returns the previous one.
std::unique_ptr<UserDialogs> SetDialogs(std::unique_ptr<UserDialogs> dialogs);

// While a dialog of the zenity, kdialog or terminal service waits for the user, the calling
// thread's window messages keep flowing (sent messages are handled, posted ones dispatched; a
// quit message is kept for after the dialog), as in a modal loop.
//
// The lifeline is checked on every step of that wait: once it returns false the dialog's
// program is ended and the process ends at once with exit code 0. A process that lives only
// for another one (the worker for its host) sets it; nullptr removes it.
void SetDialogLifeline(std::function<bool()> alive);

}  // namespace vx::platform
