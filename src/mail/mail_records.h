#pragma once
// The records that carry a mail message from the host to the worker and the outcome of its send
// back, their JSON documents (compact, members in declaration order), and the conversions between
// the mail record and the e-mail object. The member names are the contract between the two
// processes. ANSI members are converted to Unicode when written and back when read, in the
// running process's code set.
#include <cstdint>
#include <memory>
#include <vector>

#include "core/ustring.h"
#include "json/serialize/descriptions.h"
#include "json/serialize/serialize.h"
#include "mail/mapi_email.h"

namespace vx::mail {

// A received mail document that the records cannot stand for: a recipient element that is null or
// not an object, a "Kind" outside 0 to 3, a value of the wrong kind for its member.
class EMailDocumentError : public EMailLayerError {
 public:
  using EMailLayerError::EMailLayerError;
};

// One addressee.
class TVX64Recipient : public json::TObjectJSONMethods<TVX64Recipient> {
 public:
  AnsiString AddressType;  // empty: the list-wide type applies
  AnsiString Address;
  TMailRecipKind Kind = TMailRecipKind::rkOriginator;
  AnsiString Name;

  [[nodiscard]] static TVX64Recipient FromEmail(const TMailRecip& aRecip);
  [[nodiscard]] TMailRecip CreateMailRecip() const;
};
VX_CLASS(TVX64Recipient, VX_FIELD(AddressType), VX_FIELD(Address), VX_FIELD(Kind), VX_FIELD(Name));

// One message.
class TVX64Mail : public json::TObjectJSONMethods<TVX64Mail> {
 public:
  std::vector<UString> Attachments;
  AnsiString Body;
  AnsiString BodyTxt;
  bool HtmlBody = false;
  std::int32_t ParentWnd = 0;
  std::vector<TVX64Recipient> Recipients;
  AnsiString RecipientsAddressType;
  std::unique_ptr<TVX64Recipient> RecipientsOriginator;  // never filled, never read
  AnsiString Subject;
  bool DirectHtml = false;

  // Reads the document (dates recognised). A text that is not JSON raises the reader's error; a
  // document the record cannot stand for raises EMailDocumentError.
  [[nodiscard]] static std::unique_ptr<TVX64Mail> FromJSON(UStringView text);
  // A new e-mail object built from the record. Its constructor reads the mail client settings and
  // raises EAbort when there is no default client.
  [[nodiscard]] std::unique_ptr<TMapiEmail> CreateMapiEmail() const;
  [[nodiscard]] static std::unique_ptr<TVX64Mail> FromEmail(const TMapiEmail& aEmail);
};
VX_CLASS(TVX64Mail, VX_FIELD(Attachments), VX_FIELD(Body), VX_FIELD(BodyTxt), VX_FIELD(HtmlBody),
         VX_FIELD(ParentWnd), VX_FIELD(Recipients), VX_FIELD(RecipientsAddressType),
         VX_FIELD(RecipientsOriginator), VX_FIELD(Subject), VX_FIELD(DirectHtml));

// The outcome of one send: Error is empty when the send completed; Result is the Simple MAPI
// code of the send (0 sent, 1 cancelled by the user) or of the failure that ended it.
struct TVX64WorkerMailResult {
  std::uint32_t Result = 0;
  UString Error;
};
VX_RECORD(TVX64WorkerMailResult, VX_FIELD(Result), VX_FIELD(Error));

using TVX64WorkerMailResultJSON = json::TRecordJSONHelper<TVX64WorkerMailResult>;

}  // namespace vx::mail
