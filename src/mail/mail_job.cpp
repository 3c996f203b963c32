#include "mail/mail_job.h"

#include <mutex>

#include "json/model/errors.h"
#include "mail/worker_mail.h"

namespace vx::mail {

namespace {

bool RunRequest(Tvx64BWorkerCom& com, const TStringList& params, TStringList& answer) {
  const TVX64WorkerMailResult result = TVX64WorkerMail::MAPISendMail(params);
  answer.SetValue(kMailAnswer, TVX64WorkerMailResultJSON::AsJSON(result));
  com.SendCommand(kMailAnswer, &answer);
  return true;  // the status stays "EXECUTING"
}

bool StoreAnswer(Tvx64BWorkerCom& com, const TStringList& params) {
  auto* mailCom = dynamic_cast<TMailWorkerCom*>(&com);
  if (mailCom == nullptr) return false;  // no mail job waits on this endpoint
  const UString text = params.Value(kMailAnswer);
  TVX64WorkerMailResult result;
  try {
    if (IsBlank(text)) throw json::EJSONError(u"brak wyniku");
    result = TVX64WorkerMailResultJSON::FromJSON(text);
  } catch (const std::exception& e) {
    result = {0,
              u"Wysyłanie poczty: nieczytelna odpowiedź procesu vx64BWorker (" + Utf8ToU(e.what()) + u")."};
  }
  mailCom->FMAPISendMailResult = std::move(result);
  mailCom->FMAPISendMailAnswered = true;
  com.SetStatus(kStatusReady);
  return true;
}

}  // namespace

void RegisterMailJob() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterJobBranch(TJobBranch{kMailRequest, kMailAnswer, &RunRequest, &StoreAnswer, {}});
  });
}

TVX64WorkerMailResult SendMAPISendMail(TMailWorkerCom& aCom, const TMapiEmail& aEmail, bool aShowDialog) {
  RegisterMailJob();
  // Only an answer to this request counts.
  aCom.FMAPISendMailResult = {};
  aCom.FMAPISendMailAnswered = false;
  TStringList params;
  params.SetValue(u"Mail", TVX64Mail::FromEmail(aEmail)->AsJSON(false, false));
  params.SetValue(u"ShowDialog", aShowDialog ? u"1" : u"0");
  (void)aCom.RunJob(kMailRequest, params);
  if (!aCom.FMAPISendMailAnswered) aCom.FMAPISendMailResult = {0, kMailNoAnswer};
  return aCom.FMAPISendMailResult;
}

}  // namespace vx::mail
