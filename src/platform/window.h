#pragma once
// Hidden message windows: endpoints with numeric handles that other processes of the same user
// can address. A window belongs to the thread that created it; messages sent to it are handled
// on that thread while it waits in GetNextMessage, PeekNextMessage, WaitMessageTimeout or
// SendWindowMessage.
//
// SendWindowMessage is synchronous: it returns after the receiver's window procedure has run,
// and while it waits the sending thread handles messages sent to its own windows (nested
// handling). A receiver that dies ends the wait.
//
// The names are the layer's own: the Windows headers define the Windows API's names of these
// operations and constants as macros.
#include <cstdint>
#include <optional>
#include <string_view>

namespace vx::platform {

using WindowHandle = std::int64_t;  // 1..2^31-1; 0 = no window

inline constexpr std::uint32_t kMsgNull = 0x0000;
inline constexpr std::uint32_t kMsgQuit = 0x0012;
inline constexpr std::uint32_t kMsgCopyData = 0x004A;
inline constexpr std::uint32_t kMsgUser = 0x0400;

// The block a kMsgCopyData message carries; lParam points at it.
struct CopyDataBlock {
  std::uintptr_t dwData = 0;
  std::uint32_t cbData = 0;
  const void* lpData = nullptr;
};

struct WindowMessage {
  WindowHandle hwnd = 0;
  std::uint32_t message = kMsgNull;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

using WindowProcedure = std::intptr_t (*)(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t);

// Registers a window class; false when the name is already registered.
bool RegisterWindowClass(std::u16string_view className, WindowProcedure procedure);
// Creates a hidden window of a registered class; 0 on failure.
[[nodiscard]] WindowHandle CreateMessageWindow(std::u16string_view className);
bool DestroyMessageWindow(WindowHandle hwnd);
// True when the handle names a live window of any process of this user. Cheap; a window of a
// process that has ended reads as gone at once. Running out of descriptors never makes a live
// window read as gone.
[[nodiscard]] bool WindowExists(WindowHandle hwnd);
// Closes this thread's kept connection to another process's window (a peer the caller is done
// with). Connections also close by themselves when their window goes.
void ForgetWindow(WindowHandle hwnd);
// The result of a message a window procedure does not handle itself.
std::intptr_t DefaultWindowProcedure(WindowHandle hwnd, std::uint32_t msg, std::uintptr_t wParam,
                                     std::intptr_t lParam);

// Synchronous send. For kMsgCopyData lParam points at a CopyDataBlock whose bytes are copied to
// the receiver; for other messages wParam and lParam travel as numbers. Returns the receiver's
// result, 0 when the window is gone, refused or dies during the call.
std::intptr_t SendWindowMessage(WindowHandle hwnd, std::uint32_t msg, std::uintptr_t wParam,
                                std::intptr_t lParam);
// The same send; nullopt when the message was not handled: the window is gone, it refused the
// message (a kMsgCopyData block over the size bound), or it died before answering. With
// timeoutMs >= 0 a window of another thread or process that has not answered by then is given up
// (nullopt); its connection is closed, so its late answer reaches nobody.
[[nodiscard]] std::optional<std::intptr_t> TrySendWindowMessage(WindowHandle hwnd, std::uint32_t msg,
                                                                std::uintptr_t wParam, std::intptr_t lParam,
                                                                int timeoutMs = -1);

// Queues a message for a window of this process (any thread); false when no such window.
bool PostWindowMessage(WindowHandle hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);
// Queues the quit message (kMsgQuit, wParam = exitCode) for the calling thread.
void PostQuit(int exitCode);

// Waits for the next queued message of the calling thread, handling sent messages meanwhile.
// False when it is the quit message.
bool GetNextMessage(WindowMessage& msg);
// Handles pending sent messages, then takes the next queued message if there is one.
bool PeekNextMessage(WindowMessage& msg);
void TranslateWindowMessage(const WindowMessage& msg);
std::intptr_t DispatchWindowMessage(const WindowMessage& msg);
// Waits up to timeoutMs for a message sent to this thread's windows (handled here) or a queued
// one (left in the queue). True when something arrived.
bool WaitMessageTimeout(int timeoutMs);

void SleepMilliseconds(unsigned milliseconds);

}  // namespace vx::platform
