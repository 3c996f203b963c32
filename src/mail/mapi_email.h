#pragma once
// The e-mail object of the Simple MAPI layer: subject, body, recipients and attachments, sent
// through the client library directly, on a send thread, or (for a library this process cannot
// load) through the worker.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <vector>

#include "core/ustring.h"
#include "mail/simple_mapi.h"
#include "platform/window.h"

namespace vx::mail {

enum class TMailRecipKind { rkOriginator, rkTO, rkCC, rkBCC };

struct TMailRecip {
  AnsiString FAddress;
  AnsiString FAddressType;  // empty: the list-wide type applies
  TMailRecipKind FKind = TMailRecipKind::rkTO;
  AnsiString FName;
};

class TMailRecips {
 public:
  // Appends a recipient; the address loses white space and control characters at both ends.
  int Add(const AnsiString& Address, const AnsiString& Name = {}, TMailRecipKind Kind = TMailRecipKind::rkTO,
          const AnsiString& AddressType = {});
  [[nodiscard]] int Count() const { return static_cast<int>(FItems.size()); }
  [[nodiscard]] TMailRecip& Items(int i);
  [[nodiscard]] const TMailRecip& Items(int i) const;
  void Clear() { FItems.clear(); }
  AnsiString FAddressesType = "SMTP";

 private:
  std::vector<TMailRecip> FItems;
};

enum class TLogonOption { loLogonUI, loNewSession, loForceDownload };
enum class TFindOption { foFifo, foUnreadOnly };

class TMapiEmail : public TSimpleMapi {
 public:
  TMapiEmail();
  ~TMapiEmail() override;

  [[nodiscard]] std::vector<UString>& Attachments() { return FAttachments; }
  [[nodiscard]] const std::vector<UString>& Attachments() const { return FAttachments; }
  [[nodiscard]] const AnsiString& Body() const { return FBody; }
  // An empty value clears; any other is stored ending with CR LF.
  void SetBody(const AnsiString& value);
  [[nodiscard]] const AnsiString& BodyTxt() const { return FBodyTxt; }
  void SetBodyTxt(const AnsiString& value);
  [[nodiscard]] bool HtmlBody() const { return FHtmlBody; }
  void SetHtmlBody(bool value) { FHtmlBody = value; }
  [[nodiscard]] bool DirectHtml() const { return FDirectHtml; }
  void SetDirectHtml(bool value) { FDirectHtml = value; }
  [[nodiscard]] const AnsiString& Subject() const { return FSubject; }
  void SetSubject(const AnsiString& value) { FSubject = value; }
  // The explicit parent window, else the process's main window.
  [[nodiscard]] platform::WindowHandle ParentWnd() const;
  void SetParentWnd(platform::WindowHandle wnd);
  [[nodiscard]] TMailRecips& Recipients() { return FRecipients; }
  [[nodiscard]] const TMailRecips& Recipients() const { return FRecipients; }
  // The Simple MAPI code of the last call of MAPISendMail (0 before any); after a send through
  // the worker, the code the worker reported.
  [[nodiscard]] std::int32_t LastResult() const { return fLastResult; }

  // Sends the message; see the three ways in the source.
  [[nodiscard]] bool Send(bool ShowDialog);
  // The hand-off way of Send: a worker process sends the message; a failure text it returns goes
  // to BladOk_Lite. True only when the worker reports the message sent (false also after a user
  // abort in the client's window and when the worker gave no answer).
  [[nodiscard]] bool SendThroughWorker(bool ShowDialog);
  [[nodiscard]] std::uint32_t LogonOptionsToFlags(bool ShowDialog) const;
  void LogOff();

  // Builds the Simple MAPI message and hands it to MAPISendMail (the program only sends: Save
  // is false). Public for the send thread.
  [[nodiscard]] bool InternalSendOrSave(bool Save, bool ShowDialog);

 protected:
  void BeforeUnloadClientLib() override;

 private:
  std::vector<UString> FAttachments;
  AnsiString FBody;
  std::set<TFindOption> FFindOptions{TFindOption::foFifo};
  bool FHtmlBody = false;
  std::set<TLogonOption> FLogonOptions{TLogonOption::loLogonUI};
  platform::WindowHandle FParentWnd = 0;
  bool FParentWndValid = false;
  TMailRecips FRecipients;
  AnsiString FSeedMessageID;
  LHANDLE FSessionHandle = 0;
  AnsiString FSubject;
  std::vector<platform::WindowHandle> FTaskWindowList;
  AnsiString FBodyTxt;
  bool FDirectHtml = false;
  std::int32_t fLastResult = 0;
};

// One send on a second thread while the calling thread keeps handling window messages.
class TSendMailThread {
 public:
  // Starts the send, sleeps 1 s, then every 10 ms handles pending window messages until the
  // thread is done. Errors of the send go to BladOk_Lite on the calling thread.
  [[nodiscard]] bool Run(TMapiEmail* email, bool Save, bool ShowDialog);

 private:
  void Execute();
  void ShowErrorMessage();  // on the calling thread, through the synchronisation below

  TMapiEmail* FEmail = nullptr;
  bool FResult = false;
  bool FSave = false;
  bool FShowDialog = false;
  AnsiString FErrorMessage;
  std::atomic<bool> FTerminated{false};
  // A report waiting for the calling thread, and its acknowledgement.
  std::mutex FSyncLock;
  std::condition_variable FSyncDone;
  bool FSyncPending = false;
};

}  // namespace vx::mail
