// The mail entry point of the host library: the message value fills the mail layer's e-mail
// object, which sends it as an application's own object would.
#include "vx64/mail.h"

#include <mutex>

#include "common/dialogs.h"
#include "common/global_interface.h"
#include "mail/mail_records.h"
#include "mail/mapi_email.h"

namespace vx64 {

namespace {

vx::mail::TMailRecipKind Internal(RecipientKind kind) {
  switch (kind) {
    case RecipientKind::Originator:
      return vx::mail::TMailRecipKind::rkOriginator;
    case RecipientKind::Cc:
      return vx::mail::TMailRecipKind::rkCC;
    case RecipientKind::Bcc:
      return vx::mail::TMailRecipKind::rkBCC;
    case RecipientKind::To:
      break;
  }
  return vx::mail::TMailRecipKind::rkTO;
}

// For one send: the user's messages go where they always go (the installed service, else a
// message box), and the error texts are also kept for the result. The send thread reports the
// client library's codes from its own thread.
class TErrorRecorder : public vx::IMessages {
 public:
  explicit TErrorRecorder(std::shared_ptr<vx::IMessages> next) : FNext(std::move(next)) {}
  void Inf_OLite(const vx::UString& text) override {
    if (FNext) {
      FNext->Inf_OLite(text);
    } else {
      vx::ShowMessage(text);
    }
  }
  void BladOk_OLite(const vx::UString& text) override {
    {
      const std::lock_guard lock(FLock);
      FErrors.push_back(text);
    }
    if (FNext) {
      FNext->BladOk_OLite(text);
    } else {
      vx::ShowMessage(text);
    }
  }
  [[nodiscard]] std::vector<std::u16string> Errors() {
    const std::lock_guard lock(FLock);
    return FErrors;
  }
  [[nodiscard]] const std::shared_ptr<vx::IMessages>& Next() const { return FNext; }

 private:
  std::shared_ptr<vx::IMessages> FNext;
  std::mutex FLock;
  std::vector<std::u16string> FErrors;
};

// Installs a recorder for one send and puts the service back on every way out.
class TRecorderScope {
 public:
  TRecorderScope() : FRecorder(std::make_shared<TErrorRecorder>(vx::Messages)) { vx::Messages = FRecorder; }
  ~TRecorderScope() { vx::Messages = FRecorder->Next(); }
  TRecorderScope(const TRecorderScope&) = delete;
  TRecorderScope& operator=(const TRecorderScope&) = delete;
  [[nodiscard]] std::vector<std::u16string> Errors() { return FRecorder->Errors(); }

 private:
  std::shared_ptr<TErrorRecorder> FRecorder;
};

void Fill(vx::mail::TMapiEmail& email, const MailMessage& message) {
  for (const MailRecipient& r : message.Recipients) {
    email.Recipients().Add(vx::UToAnsi(r.Address), vx::UToAnsi(r.Name), Internal(r.Kind),
                           vx::UToAnsi(r.AddressType));
  }
  email.SetSubject(vx::UToAnsi(message.Subject));
  email.SetHtmlBody(message.HtmlBody);
  email.SetBody(vx::UToAnsi(message.Body));
  email.SetBodyTxt(vx::UToAnsi(message.TextBody));
  for (const std::u16string& path : message.Attachments) email.Attachments().push_back(path);
}

}  // namespace

MailResult SendMail(const MailMessage& aMessage, bool aShowDialog, MailWay aWay) {
  MailResult result;
  TRecorderScope recorder;
  try {
    // The object reads the mail client settings; without a default client the user has been told
    // so and EAbort ends the send.
    vx::mail::TMapiEmail email;
    Fill(email, aMessage);
    if (aWay == MailWay::DryRun) {
      result.Document = vx::mail::TVX64Mail::FromEmail(email)->AsJSON(false, false);
      result.Sent = true;
    } else {
      result.Sent = aWay == MailWay::Worker ? email.SendThroughWorker(aShowDialog) : email.Send(aShowDialog);
      result.Code = static_cast<std::uint32_t>(email.LastResult());
    }
  } catch (const vx::mail::EAbort&) {
    // Already told through an information message.
  } catch (const vx::mail::EMapiError& e) {
    result.Code = e.ErrorCode;
    vx::BladOk_Lite(vx::AnsiToU(e.what()));
  } catch (const std::exception& e) {
    vx::BladOk_Lite(vx::AnsiToU(e.what()));
  }
  result.Errors = recorder.Errors();
  return result;
}

}  // namespace vx64
