#pragma once
// The three ways a message leaves the library. Each returns 0 or a Simple MAPI error code, the
// reason logged.
#include <cstdint>

#include "mapi/mail_config.h"
#include "mapi/mime_message.h"

namespace vx::mapi {

// SMTP submission through libcurl to the configured server.
[[nodiscard]] std::uint32_t SendBySmtp(const Mail& mail, const MailConfig& config);
// The message piped to the configured sendmail command.
[[nodiscard]] std::uint32_t SendBySendmail(const Mail& mail, const MailConfig& config);
// The user's mail composer through xdg-email, filled with the message.
[[nodiscard]] std::uint32_t OpenComposer(const Mail& mail);

}  // namespace vx::mapi
