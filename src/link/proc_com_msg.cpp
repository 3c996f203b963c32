#include "link/proc_com_msg.h"

#include <cstring>

#include "common/global_interface.h"
#include "core/ustring.h"
#include "platform/process.h"

namespace vx {

EComWindowError::EComWindowError() : std::runtime_error(UToUtf8(u"Błąd tworzenia okna komunikacji!")) {}

namespace {
const UString kCmd = u"CMD";
const UString kCmdHandle = u"CMD_HANDLE";
const UString kHandle = u"HANDLE";
}  // namespace

void TvxProcComMsg::DebugLine(UStringView text) {
  UString line = platform::ExecutablePath();
  line.append(text);
  DoDebugLog(line);
}

TvxProcComMsg::TvxProcComMsg() {
  if (!ProcComMsgWindows) ProcComMsgWindows = std::make_unique<TProcComMsgWindows>();
  CreateComWindow();
}

TvxProcComMsg::~TvxProcComMsg() {
  if (ProcComMsgWindows) {
    ProcComMsgWindows->erase(hMainHandle);
    if (ProcComMsgWindows->empty()) ProcComMsgWindows.reset();
  }
  if (hMainHandle != 0) platform::DestroyMessageWindow(hMainHandle);
  hMainHandle = 0;
}

void TvxProcComMsg::CreateComWindow() {
  if (!ProcComMsgWindows) ProcComMsgWindows = std::make_unique<TProcComMsgWindows>();
  ProcComMsgWindows->erase(hMainHandle);
  (void)platform::RegisterWindowClass(kComWindowClass, &TvxProcComMsg::WindowProc);  // exists after the first
  hMainHandle = platform::CreateMessageWindow(kComWindowClass);
  if (hMainHandle == 0) throw EComWindowError();
  (*ProcComMsgWindows)[hMainHandle] = this;
}

std::intptr_t TvxProcComMsg::WindowProc(platform::WindowHandle window, std::uint32_t message,
                                        std::uintptr_t wParam, std::intptr_t lParam) {
  if (message == platform::kMsgCopyData && ProcComMsgWindows) {
    if (auto it = ProcComMsgWindows->find(window); it != ProcComMsgWindows->end()) {
      it->second->CopyDataRecived(*reinterpret_cast<const platform::CopyDataBlock*>(lParam));
    }
  }
  return platform::DefaultWindowProcedure(window, message, wParam, lParam);
}

void TvxProcComMsg::CopyDataRecived(const platform::CopyDataBlock& descriptor) {
  // A frame carries zero-terminated UTF-16: an even, non-zero byte count ending in a zero unit.
  const std::uint32_t bytes = descriptor.cbData;
  const auto* data = static_cast<const unsigned char*>(descriptor.lpData);
  if (bytes < 2 || bytes % 2 != 0 || data == nullptr || data[bytes - 2] != 0 || data[bytes - 1] != 0) {
    DebugLine(u" -> TvxProcComMsg.CopyDataRecived -> Odrzucam uszkodzoną ramkę, liczba bajtów: " +
              IntToU(bytes));
    return;
  }
  UString text(bytes / 2 - 1, u'\0');
  std::memcpy(text.data(), data, text.size() * 2);
  if (std::size_t nul = text.find(u'\0'); nul != UString::npos) text.resize(nul);
  FLastRecivedString = std::move(text);

  if (CMDPrepare()) return;
  // The callbacks may replace the last text; each gets the one that was received.
  const UString received = FLastRecivedString;
  if (FOnRecive) FOnRecive(*this);
  if (FReciveProc) FReciveProc(received);
  if (FReciveMethod) FReciveMethod(received);
}

bool TvxProcComMsg::CMDPrepare() {
  if (IsBlank(FLastRecivedString)) return false;
  TStringList list;
  list.SetDelimitedText(FLastRecivedString);
  UString value = list.Value(kCmd);
  if (value.empty() || value.front() != u'#') return false;
  std::size_t first = value.find_first_not_of(u'#');
  UString command = first == UString::npos ? UString() : value.substr(first);
  return RunCmd(command, list);
}

bool TvxProcComMsg::RunCmd(const UString& aCMD, const TStringList& aParams) {
  if (IsBlank(aCMD)) return false;
  SetLastCmdHWND(HandleValue(aParams, kCmdHandle));
  if (EqualNoCase(aCMD, u"CLIENTRECONNECT")) {
    HWND h = HandleValue(aParams, kHandle);
    if (h != hMainHandle) SetClientHWND(h);
    return FClientHWND != h;
  }
  return false;
}

bool TvxProcComMsg::SendCommand(UStringView aCMD, const TStringList* aParams) {
  TStringList copy;
  if (aParams != nullptr) copy.SetDelimitedText(aParams->DelimitedText());
  UString command(u"#");
  command.append(aCMD);
  copy.SetValue(kCmd, command);
  if (!platform::WindowExists(hMainHandle)) {
    CreateComWindow();
    SendClientReconnect();
  }
  copy.SetValue(kCmdHandle, IntToU(hMainHandle));
  UString text = copy.DelimitedText();
  if (text.empty()) return false;
  return SendString(text);
}

bool TvxProcComMsg::SendClientReconnect() {
  TStringList list;
  list.SetValue(kHandle, IntToU(hMainHandle));
  return SendCommand(u"CLIENTRECONNECT", &list);
}

bool TvxProcComMsg::SendString(const UString& aString) {
  platform::CopyDataBlock descriptor;
  descriptor.dwData = 0;
  descriptor.cbData = static_cast<std::uint32_t>((aString.size() + 1) * 2);
  descriptor.lpData = aString.c_str();

  if (!platform::WindowExists(hMainHandle)) {
    DebugLine(u" -> TvxProcComMsg.SendString -> Jest problem z Main Handle : " + IntToU(hMainHandle));
    CreateComWindow();
    SendClientReconnect();
  }
  if (FClientHWND == 0) {
    DebugLine(
        u" -> TvxProcComMsg.SendString -> Brak ustawionego okna komunikacji klienta !!!  Main Handle: " +
        IntToU(hMainHandle));
    if (!TryUseLastHandle()) return false;
  }
  if (!platform::WindowExists(FClientHWND) && !TryUseLastHandle()) {
    SetClientHWND(0);
    return false;
  }
  DebugLine(u" -> TvxProcComMsg.SendString -> Wysyłam do Klienta " + IntToU(FClientHWND) + u" Main Handle: " +
            IntToU(hMainHandle));
  DebugLine(u" Dane: " + aString);
  return platform::TrySendWindowMessage(FClientHWND, platform::kMsgCopyData, 0,
                                        reinterpret_cast<std::intptr_t>(&descriptor), FSendTimeoutMs)
      .has_value();
}

bool TvxProcComMsg::TryUseLastHandle() {
  if (FLastCmdHWND == 0 || !platform::WindowExists(FLastCmdHWND)) return false;
  DebugLine(
      u" -> TvxProcComMsg.SendString -> Przestawiam klienta na okno z którego otrzymałem ostatnie "
      u"polecenie: " +
      IntToU(FLastCmdHWND));
  SetClientHWND(FLastCmdHWND);
  return true;
}

void TvxProcComMsg::SetClientHWND(HWND h) {
  DebugLine(u" ->  TvxProcComMsg.SetClientHWND -> Ustawiam klienta: " + IntToU(h));
  if (h == hMainHandle) {
    DebugLine(
        u" ->  TvxProcComMsg.SetClientHWND -> Błąd - Okno klienta ustawiane wartością MainHwnd  - "
        u"odrzucam!!: " +
        IntToU(h));
    return;
  }
  FClientHWND = h;
}

void TvxProcComMsg::SetLastCmdHWND(HWND h) {
  if (h == hMainHandle) {
    DebugLine(
        u" ->  TvxProcComMsg.SetLastCmdHWND -> Błąd - Okno klienta ustawiane wartością MainHwnd  - "
        u"odrzucam!!: " +
        IntToU(h));
    return;
  }
  FLastCmdHWND = h;
}

bool TvxProcComMsg::WaitForClient() {
  while (FClientHWND == 0) {
    while (PeekAndProcessMsg()) {
    }
    platform::SleepMilliseconds(10);
  }
  return true;
}

bool TvxProcComMsg::GetAndProcessMsg() {
  platform::WindowMessage msg;
  if (!platform::GetNextMessage(msg)) return false;
  platform::TranslateWindowMessage(msg);
  platform::DispatchWindowMessage(msg);
  return true;
}

bool TvxProcComMsg::PeekAndProcessMsg() {
  platform::WindowMessage msg;
  if (!platform::PeekNextMessage(msg)) return false;
  platform::TranslateWindowMessage(msg);
  platform::DispatchWindowMessage(msg);
  return true;
}

}  // namespace vx
