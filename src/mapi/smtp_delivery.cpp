#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <optional>

#include "mapi/delivery.h"
#include "mapi/mapi_log.h"
#include "platform/child_process.h"

namespace vx::mapi {

namespace {

struct CurlCleanup {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistCleanup {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// curl's reader of the spool file holding the written message.
size_t ReadSpool(char* buffer, size_t size, size_t count, void* spool) {
  const long long n = static_cast<platform::SpoolFile*>(spool)->Read({buffer, size * count});
  return n < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(n);
}

std::uint32_t CodeFor(CURLcode rc, const std::string& detail) {
  switch (rc) {
    case CURLE_OK:
      return SUCCESS_SUCCESS;
    case CURLE_LOGIN_DENIED:
      return MAPI_E_LOGON_FAILURE;
    case CURLE_OUT_OF_MEMORY:
      return MAPI_E_INSUFFICIENT_MEMORY;
    default:
      break;
  }
  if (detail.find("RCPT failed") != std::string::npos) return MAPI_E_UNKNOWN_RECIPIENT;
  return MAPI_E_FAILURE;
}

}  // namespace

std::uint32_t SendBySmtp(const Mail& mail, const MailConfig& config) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  std::uint32_t code = SUCCESS_SUCCESS;
  const auto message = MimeMessage::Build(mail, false, code);
  if (!message) return code;
  std::optional<platform::SpoolFile> spool = platform::SpoolFile::Create();
  if (!spool) {
    Log("no spool file can be made in the temporary folder");
    return MAPI_E_DISK_FULL;
  }
  if (!message->WriteTo([&spool](std::string_view bytes) { return spool->Write(bytes); }, true)) {
    Log("the message cannot be written to the spool file");
    return MAPI_E_DISK_FULL;
  }
  const long long size = spool->Rewind();
  if (size < 0) return MAPI_E_FAILURE;

  std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
  if (!curl) return MAPI_E_INSUFFICIENT_MEMORY;
  std::unique_ptr<curl_slist, SlistCleanup> rcpt;
  for (const std::string& address : mail.EnvelopeRecipients()) {
    curl_slist* next = curl_slist_append(rcpt.get(), ("<" + address + ">").c_str());
    if (next == nullptr) return MAPI_E_INSUFFICIENT_MEMORY;
    rcpt.release();
    rcpt.reset(next);
  }
  char error[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  const std::string from = "<" + mail.from.address + ">";
  curl_easy_setopt(c, CURLOPT_URL, config.server.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
  curl_easy_setopt(c, CURLOPT_READFUNCTION, &ReadSpool);
  curl_easy_setopt(c, CURLOPT_READDATA, &*spool);
  // Credentials never travel in the clear: with a user STARTTLS is required on smtp://.
  curl_easy_setopt(
      c, CURLOPT_USE_SSL,
      config.user.empty() ? static_cast<long>(CURLUSESSL_TRY) : static_cast<long>(CURLUSESSL_ALL));
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!config.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, config.caFile.c_str());
  if (!config.user.empty()) {
    curl_easy_setopt(c, CURLOPT_USERNAME, config.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, config.password.c_str());
  }
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, 120L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 60L);

  const CURLcode rc = curl_easy_perform(c);
  if (rc == CURLE_OK) return SUCCESS_SUCCESS;
  std::string detail = error[0] != '\0' ? error : curl_easy_strerror(rc);
  if (rc == CURLE_USE_SSL_FAILED) detail += " (the server offers no STARTTLS; the password was not sent)";
  Log("SMTP delivery to " + config.server + " failed: " + detail);
  return CodeFor(rc, detail);
}

}  // namespace vx::mapi
