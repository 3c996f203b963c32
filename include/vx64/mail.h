#pragma once
// Sending one e-mail through the default mail client's Simple MAPI library. A library this
// process cannot load (one built for another architecture) is used by the worker instead: the
// message travels to it as a JSON document.
//
// Messages for the user (a missing default client, errors of the client library) go to the
// installed message service (SetMessages), as the library's other messages do. A send runs on the
// calling thread, which keeps handling the messages sent to its own windows meanwhile.
#include <cstdint>
#include <string>
#include <vector>

#include "vx64/export.h"

namespace vx64 {

enum class RecipientKind { Originator, To, Cc, Bcc };

struct MailRecipient {
  std::u16string Address;  // white space and control characters at both ends are dropped
  std::u16string Name;     // the display name; empty: the address stands for it
  RecipientKind Kind = RecipientKind::To;
  std::u16string AddressType;  // empty: "SMTP"
};

// The mail client library receives texts and paths in the locale's code set; characters it cannot
// hold become '?'.
struct MailMessage {
  std::vector<MailRecipient> Recipients;  // in this order; Originator is the sender
  std::u16string Subject;
  std::u16string Body;  // plain text, or the HTML source when HtmlBody is set
  bool HtmlBody = false;
  std::u16string TextBody;  // the plain-text alternative of an HTML body, for clients that show one
  std::vector<std::u16string> Attachments;  // paths of the files to attach
};

enum class MailWay {
  Auto,    // in this process, or through the worker when the client library cannot be loaded here
  Worker,  // always through the worker
  DryRun,  // nothing is sent: the result's Document is the JSON text the worker would be handed
};

struct MailResult {
  // The send completed: the message went out when this is true and Errors is empty. A send in this
  // process also completes after an error code of the client library, which the user is told of;
  // through the worker such an error counts as not sent. False when the user cancelled in the
  // client's window or the send failed. For a dry run: the document was made.
  bool Sent = false;
  // The Simple MAPI code of the send: 0 sent, 1 cancelled by the user, otherwise the code of the
  // failure where the failure has one.
  std::uint32_t Code = 0;
  // The error texts the user was told during the send, in order; empty when there were none.
  std::vector<std::u16string> Errors;
  // Dry run: the mail document (compact JSON, characters beyond ASCII as \u escapes).
  std::u16string Document;
};

// Sends the message; `aShowDialog` lets the user edit it in the mail client's window first. No
// error is raised: every failure is told to the user and listed in the result.
[[nodiscard]] VX64_HOST_API MailResult SendMail(const MailMessage& aMessage, bool aShowDialog,
                                                MailWay aWay = MailWay::Auto);

}  // namespace vx64
