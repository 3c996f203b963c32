#pragma once
// The message as the library sends it: read from a Simple MAPI message and written as MIME.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/mail_config.h"
#include "mapi/mapi.h"

namespace vx::mapi {

struct Mailbox {
  std::string name;     // UTF-8, no line breaks
  std::string address;  // a checked bare address (local@domain)
};

struct Attachment {
  std::string path;
  std::string name;  // shown to the recipient
};

struct Mail {
  Mailbox from;
  std::vector<Mailbox> to, cc, bcc;
  std::string subject;  // UTF-8, no line breaks
  std::string body;     // UTF-8, LF line ends
  std::vector<Attachment> files;
  [[nodiscard]] std::vector<std::string> EnvelopeRecipients() const;
};

// Reads a Simple MAPI message (texts in the locale's code set). Recipients need an SMTP address
// ("SMTP:" prefix optional); `needRecipients` is false for the composer. Returns 0 or a
// Simple MAPI error code, with the reason logged.
[[nodiscard]] std::uint32_t ReadMapiMessage(const MapiMessage& message, const MailConfig& config,
                                            bool needRecipients, Mail& mail);

// True for an address that can go into a header and an SMTP command unchanged.
[[nodiscard]] bool IsPlainAddress(const std::string& address);

// A MIME message ready to be written; attachments are opened, not read.
class MimeMessage {
 public:
  ~MimeMessage();
  MimeMessage(const MimeMessage&) = delete;
  MimeMessage& operator=(const MimeMessage&) = delete;

  // nullopt-like: null with `code` set (MAPI_E_ATTACHMENT_OPEN_FAILURE) when a file cannot be
  // opened. `bccHeader` keeps a Bcc header for a sendmail that reads recipients from headers.
  [[nodiscard]] static std::unique_ptr<MimeMessage> Build(const Mail& mail, bool bccHeader,
                                                          std::uint32_t& code);
  // Takes one block of the written message; false when it cannot be written, which ends the write.
  using Sink = std::function<bool(std::string_view)>;
  // Writes the message to the sink, CR LF line ends when `crlf`. False on a write error.
  [[nodiscard]] bool WriteTo(const Sink& sink, bool crlf) const;

  MimeMessage() = default;

 private:
  void* message_ = nullptr;  // GMimeMessage
};

}  // namespace vx::mapi
