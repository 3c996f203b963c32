#include "platform/dialogs.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/common/ascii.h"
#include "platform/common/utf.h"
#include "platform/posix/descriptors.h"
#include "platform/posix/spawn.h"
#include "platform/process.h"
#include "platform/window.h"

namespace vx::platform {

namespace {

// "&" marks a keyboard shortcut; "&&" is a literal ampersand.
std::u16string StripAccelerator(const std::u16string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'&') {
      if (i + 1 < s.size() && s[i + 1] == u'&') {
        out.push_back(u'&');
        ++i;
      }
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

std::string Plain(const std::u16string& s) {
  return Utf16ToUtf8(StripAccelerator(s));
}

// Writes a text where nothing can be done when the write fails.
void WriteText(int fd, std::string_view text) {
  (void)detail::WriteAll(fd, text);
}

std::optional<std::string> FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    size_t colon = dirs.find(':');
    // An empty entry is the current directory.
    std::string_view dir = colon == 0 || dirs.empty() ? std::string_view(".") : dirs.substr(0, colon);
    std::string candidate;
    candidate.append(dir).append("/").append(program);
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (colon == std::string_view::npos) return std::nullopt;
    dirs.remove_prefix(colon + 1);
  }
}

std::function<bool()>& Lifeline() {
  static std::function<bool()> alive;
  return alive;
}

// How long one step of a dialog's wait may take before messages and the lifeline are looked at.
constexpr int kModalStepMs = 10;

// One step of a modal wait: dispatches the thread's queued messages (a quit message is kept
// for the caller), then waits up to one step for `fd` to become readable while messages sent
// to the thread's windows are handled. True when `fd` is readable or hung up (never for -1,
// which only waits one step). When the lifeline fails, `dialog` (the dialog's program, if any)
// is ended and so is the process.
bool ModalStep(int fd, std::optional<WindowMessage>& quit, Process* dialog) {
  WindowMessage msg;
  while (!quit && PeekNextMessage(msg)) {
    if (msg.message == kMsgQuit) {
      quit = msg;
      break;
    }
    TranslateWindowMessage(msg);
    DispatchWindowMessage(msg);
  }
  if (Lifeline() && !Lifeline()()) {
    if (dialog != nullptr) (void)dialog->End(std::chrono::milliseconds(1000));
    TerminateCurrentProcess(0);
  }
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) > 0) return true;
  // With a quit message kept aside the queue is empty, so this wait is not cut short.
  WaitMessageTimeout(kModalStepMs);
  p.revents = 0;
  return ::poll(&p, 1, 0) > 0;
}

// Puts a quit message seen during a dialog back for the thread's own loop.
void RepostQuit(const std::optional<WindowMessage>& quit) {
  if (quit) PostQuit(static_cast<int>(quit->wParam));
}

struct ToolResult {
  int exitCode = -1;  // -1 when the program could not be run
  std::string output;
};

// Runs a dialog program and collects its standard output, keeping the thread's messages
// flowing until it has ended.
ToolResult RunTool(const std::string& program, const std::vector<std::string>& args) {
  ToolResult result;
  std::optional<std::string> path = FindInPath(program);
  if (!path) return result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  IoHandle output(fds[0]);
  detail::SpawnRequest request;
  request.program = *path;
  request.argv.push_back(*path);
  request.argv.insert(request.argv.end(), args.begin(), args.end());
  request.output = detail::ChildStream::From(fds[1]);
  pid_t pid = 0;
  const int rc = detail::Spawn(request, pid);
  close(fds[1]);
  if (rc != 0) return result;
  Process dialog(pid, request.ownProcessGroup);
  std::optional<WindowMessage> quit;
  char buffer[4096];
  bool open = true;
  while (open) {
    if (!ModalStep(detail::Fd(output), quit, &dialog)) continue;
    const long long n = detail::ReadSome(detail::Fd(output), buffer, sizeof buffer);
    if (n <= 0) {
      open = false;
    } else {
      result.output.append(buffer, static_cast<size_t>(n));
    }
  }
  output.Close();
  // The output is closed; the program is about to end (or has closed it early and goes on).
  while (dialog.Running()) (void)ModalStep(-1, quit, &dialog);
  RepostQuit(quit);
  const ExitStatus status = dialog.Wait();
  result.exitCode = status.code >= 0 && status.code < 128 ? status.code : -1;
  while (!result.output.empty() && (result.output.back() == '\n' || result.output.back() == '\r'))
    result.output.pop_back();
  return result;
}

// Writes the dialog to standard error; used when nobody can answer it.
void ReportOnStderr(const std::u16string& caption, const std::u16string& text) {
  WriteText(STDERR_FILENO, Plain(caption) + ": " + Utf16ToUtf8(text) + "\n");
}

class NonInteractiveDialogs final : public UserDialogs {
 public:
  int ShowMessage(const std::u16string& caption, const std::u16string& text,
                  const std::vector<std::u16string>&) override {
    ReportOnStderr(caption, text);
    return -1;
  }
  bool Question(const std::u16string& caption, const std::u16string& text, const std::u16string&,
                const std::u16string&) override {
    ReportOnStderr(caption, text);
    return false;
  }
  std::optional<std::u16string> InputBox(const std::u16string& caption, const std::u16string& prompt,
                                         const std::u16string&, const std::u16string&,
                                         const std::u16string&) override {
    ReportOnStderr(caption, prompt);
    return std::nullopt;
  }
};

class ZenityDialogs final : public UserDialogs {
 public:
  int ShowMessage(const std::u16string& caption, const std::u16string& text,
                  const std::vector<std::u16string>& buttons) override {
    std::vector<std::string> args{"--title=" + Plain(caption), "--text=" + Utf16ToUtf8(text), "--no-markup"};
    if (buttons.size() <= 1) {
      args.insert(args.begin(), "--info");
      args.push_back("--ok-label=" + (buttons.empty() ? std::string("OK") : Plain(buttons[0])));
      ToolResult r = RunTool("zenity", args);
      if (r.exitCode < 0) NonInteractive().ShowMessage(caption, text, buttons);
      return r.exitCode == 0 ? 0 : -1;
    }
    args.insert(args.begin(), "--question");
    args.push_back("--ok-label=" + Plain(buttons[0]));
    args.push_back("--cancel-label=" + Plain(buttons[1]));
    for (size_t i = 2; i < buttons.size(); ++i) args.push_back("--extra-button=" + Plain(buttons[i]));
    ToolResult r = RunTool("zenity", args);
    if (r.exitCode < 0) return NonInteractive().ShowMessage(caption, text, buttons);
    if (r.exitCode == 0) return 0;
    if (r.exitCode != 1) return -1;
    // An extra button prints its label; Cancel prints nothing.
    for (size_t i = 2; i < buttons.size(); ++i)
      if (r.output == Plain(buttons[i])) return static_cast<int>(i);
    return r.output.empty() ? 1 : -1;
  }

  std::optional<std::u16string> InputBox(const std::u16string& caption, const std::u16string& prompt,
                                         const std::u16string& value, const std::u16string& ok,
                                         const std::u16string& cancel) override {
    ToolResult r = RunTool("zenity", {"--entry", "--title=" + Plain(caption), "--text=" + Utf16ToUtf8(prompt),
                                      "--entry-text=" + Utf16ToUtf8(value), "--ok-label=" + Plain(ok),
                                      "--cancel-label=" + Plain(cancel)});
    if (r.exitCode < 0) return NonInteractive().InputBox(caption, prompt, value, ok, cancel);
    if (r.exitCode != 0) return std::nullopt;
    return Utf8ToUtf16(r.output);
  }

 private:
  NonInteractiveDialogs& NonInteractive() { return fallback_; }
  NonInteractiveDialogs fallback_;
};

class KDialogDialogs final : public UserDialogs {
 public:
  // kdialog shows "&" as a keyboard shortcut itself, so labels go through unchanged.
  int ShowMessage(const std::u16string& caption, const std::u16string& text,
                  const std::vector<std::u16string>& buttons) override {
    std::vector<std::string> args{"--title", Plain(caption)};
    std::string body = Utf16ToUtf8(text);
    if (buttons.size() <= 1) {
      args.insert(args.end(), {"--msgbox", body});
      if (!buttons.empty()) args.insert(args.end(), {"--ok-label", Utf16ToUtf8(buttons[0])});
    } else if (buttons.size() == 2) {
      args.insert(args.end(), {"--yesno", body, "--yes-label", Utf16ToUtf8(buttons[0]), "--no-label",
                               Utf16ToUtf8(buttons[1])});
    } else if (buttons.size() == 3) {
      args.insert(args.end(), {"--yesnocancel", body, "--yes-label", Utf16ToUtf8(buttons[0]), "--no-label",
                               Utf16ToUtf8(buttons[1]), "--cancel-label", Utf16ToUtf8(buttons[2])});
    } else {
      args.insert(args.end(), {"--menu", body});
      for (size_t i = 0; i < buttons.size(); ++i)
        args.insert(args.end(), {std::to_string(i), Plain(buttons[i])});
    }
    ToolResult r = RunTool("kdialog", args);
    if (r.exitCode < 0) return fallback_.ShowMessage(caption, text, buttons);
    if (buttons.size() > 3) {
      if (r.exitCode != 0) return -1;
      try {
        size_t used = 0;
        int index = std::stoi(r.output, &used);
        return used == r.output.size() && index >= 0 && static_cast<size_t>(index) < buttons.size() ? index
                                                                                                    : -1;
      } catch (const std::exception&) {
        return -1;
      }
    }
    if (buttons.size() <= 1) return r.exitCode == 0 ? 0 : -1;
    return r.exitCode <= 2 && static_cast<size_t>(r.exitCode) < buttons.size() ? r.exitCode : -1;
  }

  std::optional<std::u16string> InputBox(const std::u16string& caption, const std::u16string& prompt,
                                         const std::u16string& value, const std::u16string& ok,
                                         const std::u16string& cancel) override {
    ToolResult r =
        RunTool("kdialog", {"--title", Plain(caption), "--inputbox", Utf16ToUtf8(prompt), Utf16ToUtf8(value),
                            "--ok-label", Utf16ToUtf8(ok), "--cancel-label", Utf16ToUtf8(cancel)});
    if (r.exitCode < 0) return fallback_.InputBox(caption, prompt, value, ok, cancel);
    if (r.exitCode != 0) return std::nullopt;
    return Utf8ToUtf16(r.output);
  }

 private:
  NonInteractiveDialogs fallback_;
};

// Prompts on the terminal: the text on standard error, the answer from standard input.
class TerminalDialogs final : public UserDialogs {
 public:
  int ShowMessage(const std::u16string& caption, const std::u16string& text,
                  const std::vector<std::u16string>& buttons) override {
    std::string prompt = "\n[" + Plain(caption) + "]\n" + Utf16ToUtf8(text) + "\n";
    if (buttons.size() <= 1) {
      WriteText(STDERR_FILENO, prompt + "(Enter: " + (buttons.empty() ? "OK" : Plain(buttons[0])) + ") ");
      std::optional<std::string> line = ReadLine();
      return line ? 0 : -1;
    }
    for (size_t i = 0; i < buttons.size(); ++i)
      prompt += "  " + std::to_string(i + 1) + ") " + Plain(buttons[i]) + "\n";
    for (;;) {
      WriteText(STDERR_FILENO, prompt + "> ");
      std::optional<std::string> line = ReadLine();
      if (!line) return -1;
      for (size_t i = 0; i < buttons.size(); ++i) {
        std::string label = Plain(buttons[i]);
        if (*line == std::to_string(i + 1) || EqualNoCase(*line, label) ||
            (line->size() == 1 && !label.empty() && EqualNoCase(*line, label.substr(0, 1))))
          return static_cast<int>(i);
      }
    }
  }

  std::optional<std::u16string> InputBox(const std::u16string& caption, const std::u16string& prompt,
                                         const std::u16string& value, const std::u16string&,
                                         const std::u16string&) override {
    WriteText(STDERR_FILENO, "\n[" + Plain(caption) + "]\n" + Utf16ToUtf8(prompt) + " [" +
                                 Utf16ToUtf8(value) + "] (Enter keeps it, end of input cancels): ");
    std::optional<std::string> line = ReadLine();
    if (!line) return std::nullopt;
    return line->empty() ? value : Utf8ToUtf16(*line);
  }

 private:
  // Reads one line from standard input byte by byte (nothing is read ahead), keeping the
  // thread's messages flowing while the user types.
  static std::optional<std::string> ReadLine() {
    std::string line;
    std::optional<WindowMessage> quit;
    for (;;) {
      if (!ModalStep(STDIN_FILENO, quit, nullptr)) continue;
      char c = 0;
      ssize_t n = read(STDIN_FILENO, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (line.empty()) {
          RepostQuit(quit);
          return std::nullopt;
        }
        break;
      }
      if (c == '\n') break;
      line.push_back(c);
    }
    RepostQuit(quit);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
};

// Answers from a file, one per line ("yes", "no", "ok", "cancel", a button number counted from
// 0, a button label, "input:<text>"); every dialog shown is appended as one line to
// "<file>.log" so other processes can check what was shown. When the answers run out, dialogs
// are answered No / Cancel.
class ScriptDialogs final : public UserDialogs {
 public:
  explicit ScriptDialogs(std::string path) : path_(std::move(path)) {}

  int ShowMessage(const std::u16string& caption, const std::u16string& text,
                  const std::vector<std::u16string>& buttons) override {
    std::vector<std::u16string> fields{u"MessageBox", caption, text};
    fields.insert(fields.end(), buttons.begin(), buttons.end());
    Log(fields);
    std::optional<std::string> answer = NextAnswer();
    if (!answer) return -1;
    if (*answer == "ok" || *answer == "yes") return 0;
    if (*answer == "no") return buttons.size() >= 2 ? 1 : -1;
    if (*answer == "cancel") return -1;
    for (size_t i = 0; i < buttons.size(); ++i)
      if (*answer == std::to_string(i) || *answer == Utf16ToUtf8(buttons[i]) || *answer == Plain(buttons[i]))
        return static_cast<int>(i);
    return -1;
  }

  bool Question(const std::u16string& caption, const std::u16string& text, const std::u16string& yes,
                const std::u16string& no) override {
    Log({u"Question", caption, text, yes, no});
    std::optional<std::string> answer = NextAnswer();
    return answer &&
           (*answer == "yes" || *answer == "ok" || *answer == Utf16ToUtf8(yes) || *answer == Plain(yes));
  }

  std::optional<std::u16string> InputBox(const std::u16string& caption, const std::u16string& prompt,
                                         const std::u16string& value, const std::u16string& ok,
                                         const std::u16string& cancel) override {
    Log({u"InputBox", caption, prompt, value, ok, cancel});
    std::optional<std::string> answer = NextAnswer();
    if (!answer) return std::nullopt;
    if (answer->starts_with("input:")) return Utf8ToUtf16(answer->substr(6));
    if (*answer == "ok" || *answer == "yes") return value;
    return std::nullopt;
  }

 private:
  // Fields are separated by tabs; backslash, tab, line feed and carriage return are escaped.
  void Log(const std::vector<std::u16string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) line.push_back('\t');
      for (char c : Utf16ToUtf8(fields[i])) {
        switch (c) {
          case '\\':
            line += "\\\\";
            break;
          case '\t':
            line += "\\t";
            break;
          case '\n':
            line += "\\n";
            break;
          case '\r':
            line += "\\r";
            break;
          default:
            line.push_back(c);
        }
      }
    }
    line.push_back('\n');
    int fd = open((path_ + ".log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    WriteText(fd, line);  // one write per line keeps lines whole between processes
    close(fd);
  }

  std::optional<std::string> NextAnswer() {
    if (!loaded_) {
      std::ifstream in(path_);
      std::string line;
      while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        answers_.push_back(line);
      }
      loaded_ = true;
    }
    if (next_ >= answers_.size()) return std::nullopt;
    return answers_[next_++];
  }

  std::string path_;
  bool loaded_ = false;
  std::vector<std::string> answers_;
  size_t next_ = 0;
};

std::unique_ptr<UserDialogs> ChooseDialogs() {
  const char* choice = std::getenv("VX64_DIALOGS");
  std::string_view c = choice != nullptr ? choice : "";
  if (c.starts_with("script:")) return std::make_unique<ScriptDialogs>(std::string(c.substr(7)));
  if (c == "zenity") return std::make_unique<ZenityDialogs>();
  if (c == "kdialog") return std::make_unique<KDialogDialogs>();
  if (c == "tty") return std::make_unique<TerminalDialogs>();
  if (c == "none") return std::make_unique<NonInteractiveDialogs>();
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
  };
  if (set("DISPLAY") || set("WAYLAND_DISPLAY")) {
    if (FindInPath("zenity")) return std::make_unique<ZenityDialogs>();
    if (FindInPath("kdialog")) return std::make_unique<KDialogDialogs>();
  }
  if (isatty(STDIN_FILENO) == 1) return std::make_unique<TerminalDialogs>();
  return std::make_unique<NonInteractiveDialogs>();
}

struct DialogSlot {
  std::mutex lock;
  std::unique_ptr<UserDialogs> current;
};

DialogSlot& Slot() {
  static DialogSlot slot;
  return slot;
}

}  // namespace

UserDialogs& Dialogs() {
  DialogSlot& slot = Slot();
  std::lock_guard guard(slot.lock);
  if (!slot.current) slot.current = ChooseDialogs();
  return *slot.current;
}

void SetDialogLifeline(std::function<bool()> alive) {
  Lifeline() = std::move(alive);
}

// Passing nullptr makes the next Dialogs() call choose from the environment again.
std::unique_ptr<UserDialogs> SetDialogs(std::unique_ptr<UserDialogs> dialogs) {
  DialogSlot& slot = Slot();
  std::lock_guard guard(slot.lock);
  std::swap(slot.current, dialogs);
  return dialogs;
}

}  // namespace vx::platform
