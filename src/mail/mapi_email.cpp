#include "mail/mapi_email.h"

#include <filesystem>
#include <thread>

#include "common/global_interface.h"
#include "mail/mail_job.h"
#include "platform/file_ops.h"
#include "platform/text_codec.h"
#include "platform/user_session.h"

namespace vx::mail {

namespace {

AnsiString WithCrLf(const AnsiString& value) {
  if (value.empty()) return {};
  if (value.size() >= 2 && value.compare(value.size() - 2, 2, "\r\n") == 0) return value;
  return value + "\r\n";
}

bool IsBlankChar(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

// Removes the first attachment (the HTML body file) on every way out of the send.
class HtmlFileEntry {
 public:
  explicit HtmlFileEntry(std::vector<UString>& list) : list_(list) {}
  ~HtmlFileEntry() {
    if (inserted_ && !list_.empty()) list_.erase(list_.begin());
  }
  HtmlFileEntry(const HtmlFileEntry&) = delete;
  HtmlFileEntry& operator=(const HtmlFileEntry&) = delete;
  void Insert(const UString& path) {
    list_.insert(list_.begin(), path);
    inserted_ = true;
  }

 private:
  std::vector<UString>& list_;
  bool inserted_ = false;
};

}  // namespace

int TMailRecips::Add(const AnsiString& Address, const AnsiString& Name, TMailRecipKind Kind,
                     const AnsiString& AddressType) {
  std::size_t begin = 0;
  std::size_t end = Address.size();
  while (begin < end && IsBlankChar(Address[begin])) ++begin;
  while (end > begin && IsBlankChar(Address[end - 1])) --end;
  FItems.push_back(TMailRecip{Address.substr(begin, end - begin), AddressType, Kind, Name});
  return Count() - 1;
}

TMailRecip& TMailRecips::Items(int i) {
  if (i < 0 || i >= Count()) throw EMapiError(UToAnsi(u"Indeks jest poza zakresem"));
  return FItems[static_cast<std::size_t>(i)];
}

const TMailRecip& TMailRecips::Items(int i) const {
  return const_cast<TMailRecips*>(this)->Items(i);
}

TMapiEmail::TMapiEmail() {
  FDirectHtml = GetClientIsDirectHtmlAble();
}

TMapiEmail::~TMapiEmail() {
  // The base destructor cannot reach this class's log-off any more, so unload here.
  try {
    UnloadClientLib();
  } catch (...) {
  }
}

void TMapiEmail::SetBody(const AnsiString& value) {
  FBody = WithCrLf(value);
}

void TMapiEmail::SetBodyTxt(const AnsiString& value) {
  FBodyTxt = WithCrLf(value);
}

platform::WindowHandle TMapiEmail::ParentWnd() const {
  return FParentWndValid ? FParentWnd : platform::ProcessMainWindow();
}

void TMapiEmail::SetParentWnd(platform::WindowHandle wnd) {
  FParentWnd = wnd;
  FParentWndValid = true;
}

std::uint32_t TMapiEmail::LogonOptionsToFlags(bool ShowDialog) const {
  std::uint32_t flags = 0;
  if (FSessionHandle == 0) {
    if (FLogonOptions.contains(TLogonOption::loLogonUI)) flags |= MAPI_LOGON_UI;
    if (FLogonOptions.contains(TLogonOption::loNewSession)) flags |= MAPI_NEW_SESSION;
    if (FLogonOptions.contains(TLogonOption::loForceDownload)) flags |= MAPI_FORCE_DOWNLOAD;
  }
  if (ShowDialog) flags |= MAPI_DIALOG;
  return flags;
}

void TMapiEmail::LogOff() {
  if (FSessionHandle == 0) return;
  const LHANDLE session = FSessionHandle;
  FSessionHandle = 0;
  if (FMapiLogOff != nullptr) {
    MapiCheck(FMapiLogOff(session, static_cast<ULONG_PTR>(ParentWnd()), 0, 0), true);
  }
}

void TMapiEmail::BeforeUnloadClientLib() {
  LogOff();
  TSimpleMapi::BeforeUnloadClientLib();
}

bool TMapiEmail::Send(bool ShowDialog) {
  LoadClientLib();
  if (ValidDllTarget()) {
    if (GetClientType() == TMailClientType::ectOutlook) return InternalSendOrSave(false, ShowDialog);
    TSendMailThread thread;
    return thread.Run(this, false, ShowDialog);
  }
  return SendThroughWorker(ShowDialog);
}

bool TMapiEmail::SendThroughWorker(bool ShowDialog) {
  TMailWorkerCom com;
  const TVX64WorkerMailResult result = SendMAPISendMail(com, *this, ShowDialog);
  fLastResult = static_cast<std::int32_t>(result.Result);
  if (!result.Error.empty()) BladOk_Lite(result.Error);
  return result.Error.empty() && result.Result == SUCCESS_SUCCESS;
}

bool TMapiEmail::InternalSendOrSave(bool /*Save*/, bool ShowDialog) {
  if (!FAnyClientInstalled) {
    throw EMapiError(UToAnsi(u"W systemie nie ma klienta poczty kompatybilnego z interfejsem Simple MAPI"));
  }
  HtmlFileEntry htmlFile(FAttachments);
  const bool withHtmlFile = FHtmlBody && !FDirectHtml;
  if (withHtmlFile) {
    const std::string path = platform::UserTempFolder() + "/" + "Tresc.htm";
    htmlFile.Insert(platform::Utf8ToUtf16(path));
    if (const std::string error = platform::WriteUserFile(path, FBody); !error.empty()) {
      throw EMailLayerError("Cannot create file \"" + platform::Utf8ToLocale(path) + "\". " + error);
    }
  }

  // Attachments: existing files (links followed), kept as absolute paths.
  std::vector<AnsiString> paths;
  for (UString& attachment : FAttachments) {
    if (!platform::FileExists(attachment)) MapiCheck(MAPI_E_ATTACHMENT_NOT_FOUND, false);
    std::error_code ec;
    const std::filesystem::path absolute =
        std::filesystem::absolute(platform::Utf16ToUtf8(attachment), ec).lexically_normal();
    if (!ec) attachment = platform::Utf8ToUtf16(absolute.string());
    paths.push_back(UToAnsi(attachment));
  }
  std::vector<MapiFileDesc> files(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    files[i] = MapiFileDesc{};
    files[i].nPosition = 0xFFFFFFFF;
    files[i].lpszPathName = paths[i].data();
  }

  // Recipients.
  if (FRecipients.Count() == 0 && !ShowDialog) MapiCheck(MAPI_E_INVALID_RECIPS, false);
  std::vector<AnsiString> names;
  std::vector<AnsiString> addresses;
  std::vector<MapiRecipDesc> recips(static_cast<std::size_t>(FRecipients.Count()));
  names.reserve(recips.size());
  addresses.reserve(recips.size());
  for (int i = 0; i < FRecipients.Count(); ++i) {
    TMailRecip& r = FRecipients.Items(i);
    MapiRecipDesc& d = recips[static_cast<std::size_t>(i)];
    d = MapiRecipDesc{};
    switch (r.FKind) {
      case TMailRecipKind::rkOriginator:
        d.ulRecipClass = MAPI_ORIG;
        break;
      case TMailRecipKind::rkTO:
        d.ulRecipClass = MAPI_TO;
        break;
      case TMailRecipKind::rkCC:
        d.ulRecipClass = MAPI_CC;
        break;
      case TMailRecipKind::rkBCC:
        d.ulRecipClass = MAPI_BCC;
        break;
    }
    names.push_back(!r.FName.empty() ? r.FName : r.FAddress);
    if (names.back().empty()) MapiCheck(MAPI_E_INVALID_RECIPS, false);
    if (GetClientRequiresAddressType() && r.FAddressType.empty()) r.FAddressType = "SMTP";
    if (!r.FAddressType.empty()) {
      addresses.push_back(r.FAddressType + ":" + r.FAddress);
    } else if (!FRecipients.FAddressesType.empty()) {
      addresses.push_back(FRecipients.FAddressesType + ":" + r.FAddress);
    } else {
      addresses.push_back(r.FAddress);
    }
    d.lpszName = names.back().data();
    d.lpszAddress = addresses.back().empty() ? nullptr : addresses.back().data();
  }

  LoadClientLib();

  AnsiString subject = FSubject;
  AnsiString note;
  if (!FHtmlBody || FDirectHtml) {
    note = FBody;
  } else if (FAttachments.size() > 1) {
    note = FBodyTxt;
  }
  MapiMessage message{};
  message.lpszSubject = subject.data();
  message.lpszNoteText = note.data();
  message.nRecipCount = static_cast<ULONG>(recips.size());
  message.lpRecips = recips.empty() ? nullptr : recips.data();
  message.nFileCount = static_cast<ULONG>(files.size());
  message.lpFiles = files.empty() ? nullptr : files.data();

  const std::uint32_t flags = LogonOptionsToFlags(ShowDialog);
  std::uint32_t code = SUCCESS_SUCCESS;
  if (FMapiSendMail != nullptr) {
    code = FMapiSendMail(FSessionHandle, static_cast<ULONG_PTR>(ParentWnd()), &message, flags, 0);
  }
  fLastResult = static_cast<std::int32_t>(code);
  return MapiCheck(code, true, this) == 0;
}

bool TSendMailThread::Run(TMapiEmail* email, bool Save, bool ShowDialog) {
  FEmail = email;
  FSave = Save;
  FShowDialog = ShowDialog;
  // (The library search directory that the Windows build saves and resets around the send has
  // no counterpart here: libraries are loaded by full path.)
  std::thread thread([this] { Execute(); });
  bool quit = false;
  auto handleMessages = [&] {
    {
      std::unique_lock lock(FSyncLock);
      if (FSyncPending) {
        lock.unlock();
        ShowErrorMessage();
        lock.lock();
        FSyncPending = false;
        FSyncDone.notify_all();
      }
    }
    platform::WindowMessage msg;
    while (platform::PeekNextMessage(msg)) {
      if (msg.message == platform::kMsgQuit) {
        quit = true;
        continue;
      }
      platform::TranslateWindowMessage(msg);
      platform::DispatchWindowMessage(msg);
    }
  };
  platform::SleepMilliseconds(1000);
  while (!FTerminated.load()) {
    platform::SleepMilliseconds(10);
    handleMessages();
  }
  thread.join();
  if (quit) platform::PostQuit(0);  // kept for the caller's own loop
  return FResult;
}

void TSendMailThread::Execute() {
  FErrorMessage.clear();
  try {
    FResult = FEmail->InternalSendOrSave(FSave, FShowDialog);
  } catch (const std::exception& e) {
    if (FEmail->ValidDllTarget()) {
      FErrorMessage = e.what();
      // Shown by the calling thread; this thread waits until it has been.
      std::unique_lock lock(FSyncLock);
      FSyncPending = true;
      FSyncDone.wait(lock, [this] { return !FSyncPending; });
    }
  } catch (...) {
  }
  FTerminated.store(true);
}

void TSendMailThread::ShowErrorMessage() {
  BladOk_Lite(AnsiToU(FErrorMessage));
}

}  // namespace vx::mail
