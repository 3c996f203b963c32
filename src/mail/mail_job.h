#pragma once
// The mail job over the worker link: the host sends the message as the JSON text of its mail
// record, the worker sends it through the client library and answers with the result as JSON.
#include "link/worker_com.h"
#include "mail/mail_records.h"

namespace vx::mail {

inline constexpr char16_t kMailRequest[] = u"CMD_MAPI_SEND_MAIL";
inline constexpr char16_t kMailAnswer[] = u"CMD_MAPI_SEND_MAIL_RESULT";
inline constexpr char16_t kMailNoAnswer[] = u"Wysyłanie poczty: brak odpowiedzi procesu vx64BWorker.";

// The host's client object for a mail job: the endpoint with the last mail result received.
class TMailWorkerCom : public Tvx64BWorkerCom {
 public:
  TVX64WorkerMailResult FMAPISendMailResult;
  bool FMAPISendMailAnswered = false;  // an answer arrived since the last request
};

// Plugs the job's request and answer branches into the dispatcher (once per process). The request
// branch leaves the endpoint "EXECUTING": one worker serves one request.
void RegisterMailJob();

// Host: one worker life around one mail request. The worker's result; when no answer came (the
// worker did not start, never announced itself, died or was killed), Error says so.
[[nodiscard]] TVX64WorkerMailResult SendMAPISendMail(TMailWorkerCom& aCom, const TMapiEmail& aEmail,
                                                     bool aShowDialog);

}  // namespace vx::mail
