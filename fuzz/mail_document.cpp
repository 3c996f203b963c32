// A hostile mail document as the worker receives it: read into the mail record (or refused with
// a clear error), written back, and the written text read again to the same text. The same text
// read as a mail result as the host receives it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "json/model/errors.h"
#include "mail/mail_records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const vx::UString text = vx::Utf8ToU(std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    const auto mail = vx::mail::TVX64Mail::FromJSON(text);
    const vx::UString written = mail->AsJSON(false, false);
    if (vx::mail::TVX64Mail::FromJSON(written)->AsJSON(false, false) != written) std::abort();
  } catch (const vx::json::EJSONBaseError&) {
  } catch (const vx::mail::EMailDocumentError&) {
  }
  try {
    (void)vx::mail::TVX64WorkerMailResultJSON::FromJSON(text);
  } catch (const vx::json::EJSONBaseError&) {
  }
  return 0;
}
