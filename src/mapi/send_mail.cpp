#include "mapi/send_mail.h"

#include "mapi/delivery.h"
#include "mapi/mapi_log.h"
#include "platform/user_session.h"

namespace vx::mapi {

std::uint32_t SendMail(const MapiMessage* message, FLAGS flags) {
  if (message == nullptr) return MAPI_E_INVALID_MESSAGE;
  const bool dialog = (flags & MAPI_DIALOG) != 0;
  // The composer needs no delivery settings, so a refused settings file does not stop it.
  MailConfig config;
  if (!dialog) {
    ConfigResult read = ReadMailConfig();
    if (!read.config) return read.code;
    config = std::move(*read.config);
  }
  Mail mail;
  if (const auto code = ReadMapiMessage(*message, config, !dialog, mail); code != SUCCESS_SUCCESS)
    return code;
  for (const Attachment& a : mail.files) {
    const auto status = platform::StatFile(a.path);
    if (!status) {
      Log("attachment \"" + a.path + "\" does not exist");
      return MAPI_E_ATTACHMENT_NOT_FOUND;
    }
    if (!status->regular) {
      Log("attachment \"" + a.path + "\" is not a regular file");
      return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    }
  }
  if (dialog) return OpenComposer(mail);
  return config.server.empty() ? SendBySendmail(mail, config) : SendBySmtp(mail, config);
}

std::uint32_t FreeBuffer(void* buffer) {
  // The library hands out no buffers (the calls that would are not supported), so only the
  // null buffer is freed; anything else is not this library's and is left alone.
  return buffer == nullptr ? SUCCESS_SUCCESS : MAPI_E_FAILURE;
}

}  // namespace vx::mapi
