#include "mail/worker_mail.h"

#include <mutex>

#include "common/dialogs.h"
#include "common/global_interface.h"
#include "json/model/errors.h"

namespace vx::mail {

namespace {

constexpr char16_t kNoDefaultClient[] =
    u"Nie wysłano poczty: w procesie vx64BWorker brak domyślnego klienta poczty.";

// While the send runs, error messages meant for the user are collected for the result instead of
// being shown in the worker (the send thread reports Simple MAPI codes from its own thread).
// Information messages go where they went before.
class TErrorCapture : public IMessages {
 public:
  TErrorCapture() = default;
  void Inf_OLite(const UString& text) override {
    if (FPrevious) {
      FPrevious->Inf_OLite(text);
    } else {
      ShowMessage(text);
    }
  }
  void BladOk_OLite(const UString& text) override {
    const std::lock_guard lock(FLock);
    if (!FText.empty()) FText += u"\n";
    FText += text;
  }
  [[nodiscard]] UString Text() {
    const std::lock_guard lock(FLock);
    return FText;
  }
  std::shared_ptr<IMessages> FPrevious;

 private:
  std::mutex FLock;
  UString FText;
};

// Installs a capture for one send and puts the previous service back on every way out.
class TCaptureScope {
 public:
  TCaptureScope() : FCapture(std::make_shared<TErrorCapture>()) {
    FCapture->FPrevious = Messages;
    Messages = FCapture;
  }
  ~TCaptureScope() { Messages = FCapture->FPrevious; }
  TCaptureScope(const TCaptureScope&) = delete;
  TCaptureScope& operator=(const TCaptureScope&) = delete;
  [[nodiscard]] UString Text() { return FCapture->Text(); }

 private:
  std::shared_ptr<TErrorCapture> FCapture;
};

}  // namespace

TVX64WorkerMailResult TVX64WorkerMail::MAPISendMail(const TStringList& aParams) {
  std::unique_ptr<TVX64Mail> mail;
  try {
    mail = TVX64Mail::FromJSON(aParams.Value(u"Mail"));
  } catch (const json::EJSONBaseError& e) {
    return {0, u"Nieprawidłowy tekst poczty (parametr \"Mail\"): " + e.Message()};
  } catch (const EMailDocumentError& e) {
    return {0, AnsiToU(e.what())};
  }
  return MAPISendMail(*mail, aParams.Value(u"ShowDialog") == u"1");
}

TVX64WorkerMailResult TVX64WorkerMail::MAPISendMail(const TVX64Mail& aMail, bool aShowDialog) {
  std::unique_ptr<TMapiEmail> email;
  try {
    email = aMail.CreateMapiEmail();  // Inf_Lite has told of a missing default client
  } catch (const EAbort&) {
    return {0, kNoDefaultClient};
  }
  return MAPISendMail(*email, aShowDialog);
}

TVX64WorkerMailResult TVX64WorkerMail::MAPISendMail(TMapiEmail& aEmail, bool aShowDialog) {
  TVX64WorkerMailResult result;
  TCaptureScope capture;
  std::uint32_t failedCode = 0;
  try {
    aEmail.LoadClientLib();
    if (!aEmail.ValidDllTarget()) {
      throw EMailLayerError(UToAnsi(u"Biblioteki klienta poczty \"" + AnsiToU(aEmail.GetClientLibName()) +
                                    u"\" nie można załadować w procesie vx64BWorker."));
    }
    (void)aEmail.Send(aShowDialog);
  } catch (const EAbort&) {
    result.Error = kNoDefaultClient;
  } catch (const EMapiError& e) {
    result.Error = AnsiToU(e.what());
    failedCode = e.ErrorCode;
  } catch (const std::exception& e) {
    result.Error = AnsiToU(e.what());
  }
  result.Result = static_cast<std::uint32_t>(aEmail.LastResult());
  if (result.Result == 0) result.Result = failedCode;
  if (const UString shown = capture.Text(); !shown.empty()) {
    result.Error = result.Error.empty() ? shown : result.Error + u"\n" + shown;
  }
  return result;
}

}  // namespace vx::mail
