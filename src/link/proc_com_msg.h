#pragma once
// TvxProcComMsg: one endpoint of the link between host and worker. It owns a hidden message
// window; texts sent to that window are handed to the object, commands to RunCmd and anything
// else to the callbacks. Every object of a process lives on one thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <unordered_map>

#include "core/string_list.h"
#include "core/ustring.h"
#include "platform/window.h"

namespace vx {

using HWND = platform::WindowHandle;

// Raised when the hidden window cannot be created.
class EComWindowError : public std::runtime_error {
 public:
  EComWindowError();
};

inline constexpr char16_t kComWindowClass[] = u"VX64WorkerReciver";

class TvxProcComMsg;

// Process-wide routing of window handles to their objects; does not own them. Created by the
// first object and released when the last one goes.
using TProcComMsgWindows = std::unordered_map<HWND, TvxProcComMsg*>;
inline std::unique_ptr<TProcComMsgWindows> ProcComMsgWindows;

class TvxProcComMsg {
 public:
  using TNotifyEvent = std::function<void(TvxProcComMsg& sender)>;
  using TReciveProc = std::function<void(const UString& text)>;
  using TReciveMethod = std::function<void(const UString& text)>;

  // Creates the hidden window; raises EComWindowError when that fails.
  TvxProcComMsg();
  virtual ~TvxProcComMsg();
  TvxProcComMsg(const TvxProcComMsg&) = delete;
  TvxProcComMsg& operator=(const TvxProcComMsg&) = delete;

  virtual bool SendString(const UString& aString);
  // Sends aCMD with a copy of aParams (may be null); the caller's list is never changed.
  virtual bool SendCommand(UStringView aCMD, const TStringList* aParams);
  bool SendClientReconnect();
  // Waits until a peer is known.
  virtual bool WaitForClient();

  [[nodiscard]] const UString& LastRecivedString() const { return FLastRecivedString; }
  [[nodiscard]] HWND MainHWND() const { return hMainHandle; }
  [[nodiscard]] HWND ClientHWND() const { return FClientHWND; }
  void SetClientHWND(HWND h);
  [[nodiscard]] HWND LastCmdHWND() const { return FLastCmdHWND; }
  void SetLastCmdHWND(HWND h);
  void SetOnRecive(TNotifyEvent e) { FOnRecive = std::move(e); }
  void SetReciveProc(TReciveProc p) { FReciveProc = std::move(p); }
  void SetReciveMethod(TReciveMethod m) { FReciveMethod = std::move(m); }

  // Waits for the next queued message of the thread and dispatches it; false on the quit message.
  static bool GetAndProcessMsg();
  // Dispatches the next queued message if there is one (sent messages are handled meanwhile).
  static bool PeekAndProcessMsg();

 protected:
  virtual void CopyDataRecived(const platform::CopyDataBlock& descriptor);
  virtual bool CMDPrepare();
  virtual bool RunCmd(const UString& aCMD, const TStringList& aParams);

  void CreateComWindow();
  bool TryUseLastHandle();
  // Bound for one send to the client in milliseconds; -1 (default) waits as long as the client
  // lives. A send that runs out of it fails.
  void SetSendTimeout(int ms) { FSendTimeoutMs = ms; }
  // One line on the debug channel, prefixed with the executable's path.
  static void DebugLine(UStringView text);

 private:
  static std::intptr_t WindowProc(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam);

  TNotifyEvent FOnRecive;
  TReciveProc FReciveProc;
  TReciveMethod FReciveMethod;
  HWND FClientHWND = 0;
  HWND hMainHandle = 0;
  UString FLastRecivedString;
  HWND FLastCmdHWND = 0;
  int FSendTimeoutMs = -1;
};

}  // namespace vx
