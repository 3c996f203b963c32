#pragma once
// Process-level helpers: starting programs, ending the own process, questions about the
// system, and the texts of the standard message dialogs.
#include <cstdint>
#include <initializer_list>
#include <optional>

#include "core/ustring.h"
#include "platform/process.h"

namespace vx {

enum class TExecuteFileOption : std::uint8_t { eoHide, eoWait, eoElevate };

// A set of TExecuteFileOption.
class TExecuteFileOptions {
 public:
  constexpr TExecuteFileOptions() = default;
  constexpr TExecuteFileOptions(std::initializer_list<TExecuteFileOption> options) {
    for (TExecuteFileOption o : options) bits_ |= Bit(o);
  }
  [[nodiscard]] constexpr bool Contains(TExecuteFileOption o) const { return (bits_ & Bit(o)) != 0; }
  constexpr TExecuteFileOptions& Include(TExecuteFileOption o) {
    bits_ |= Bit(o);
    return *this;
  }
  constexpr TExecuteFileOptions& Exclude(TExecuteFileOption o) {
    bits_ &= static_cast<std::uint8_t>(~Bit(o));
    return *this;
  }
  [[nodiscard]] constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TExecuteFileOptions&) const = default;

 private:
  static constexpr std::uint8_t Bit(TExecuteFileOption o) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(o));
  }
  std::uint8_t bits_ = 0;
};

struct TExecuteFileResult {
  // 0 when started, -1 when not; with eoWait the program's exit code.
  std::int32_t result = -1;
  // The started program (already ended with eoWait); empty when nothing was started.
  std::optional<platform::Process> process;
};

// Starts a program through the shell: a bare name is looked for beside the running executable,
// then in the install's program folder, never in the current directory (platform::FindProgram).
// `window` is the owner window; there is no owner here.
std::int32_t ExecuteFile(std::int64_t window, const UString& file, const UString& parameters,
                         TExecuteFileOptions options);
// The same, handing back the started process so the caller can watch it.
TExecuteFileResult ExecuteFileEx(std::int64_t window, const UString& file, const UString& parameters,
                                 TExecuteFileOptions options);

// Ends the own process at once with exit code 0; no shut-down code runs.
[[noreturn]] void KillCurrentProces();

// There is no user account control here: always false.
[[nodiscard]] bool IsUACActive();
// True when this is a 32-bit process on a 64-bit system; asked once, then remembered.
[[nodiscard]] bool IsWow64Process();

// Replaces one built-in message-dialog text for the rest of the process's life.
void HookResourceString(UStringView builtin, UStringView replacement);
// The text the dialogs show for a built-in text: its replacement, or the text itself.
[[nodiscard]] UString ResourceText(UStringView builtin);

// Type descriptions are static here, so there is no reflection context to switch.
void RTTI_UseGlobalContext(bool use);

}  // namespace vx
