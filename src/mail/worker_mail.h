#pragma once
// The worker's side of the mail job: a received parameter list becomes a mail record, the record
// an e-mail object, and the e-mail object is sent through the client library in this process.
// Every failure comes back in the result's Error (nothing is shown by the worker itself, a user
// abort in the client's window stays silent).
#include "core/string_list.h"
#include "mail/mail_records.h"

namespace vx::mail {

class TVX64WorkerMail {
 public:
  // "Mail": the JSON text of a TVX64Mail; "ShowDialog": the dialog only for exactly "1".
  [[nodiscard]] static TVX64WorkerMailResult MAPISendMail(const TStringList& aParams);
  [[nodiscard]] static TVX64WorkerMailResult MAPISendMail(const TVX64Mail& aMail, bool aShowDialog);
  // aEmail stays the caller's. A library this process cannot load is a failure here: the worker
  // never hands the message on to a further worker.
  [[nodiscard]] static TVX64WorkerMailResult MAPISendMail(TMapiEmail& aEmail, bool aShowDialog);
};

}  // namespace vx::mail
