// The sendmail way and the composer way: both start a local program.
#include <algorithm>

#include "mapi/delivery.h"
#include "mapi/mapi_log.h"
#include "platform/child_process.h"
#include "platform/common/command_line.h"
#include "platform/process.h"

namespace vx::mapi {

namespace {

// sysexits codes a sendmail gives for a refused recipient and a refused login.
constexpr int kExNoUser = 67;
constexpr int kExNoPerm = 77;
constexpr auto kSendmailTimeout = std::chrono::minutes(10);
constexpr auto kComposerTimeout = std::chrono::minutes(2);

}  // namespace

std::uint32_t SendBySendmail(const Mail& mail, const MailConfig& config) {
  std::vector<std::string> argv = platform::SplitCommand(config.sendmail);
  if (argv.empty()) {
    Log("the sendmail command is empty");
    return MAPI_E_FAILURE;
  }
  // With -t the program takes the recipients from the headers and drops the Bcc header itself;
  // otherwise they follow on its command line and no Bcc header is written.
  const bool readsHeaders = std::find(argv.begin() + 1, argv.end(), "-t") != argv.end();
  if (!readsHeaders) {
    argv.emplace_back("--");
    for (const std::string& r : mail.EnvelopeRecipients()) argv.push_back(r);
  }
  std::uint32_t code = SUCCESS_SUCCESS;
  const auto message = MimeMessage::Build(mail, readsHeaders, code);
  if (!message) return code;

  std::string error;
  auto child = platform::PipedChild::Start(argv, {.pipeInput = true}, error);
  if (!child) {
    Log("sendmail command cannot be started: " + error);
    return MAPI_E_FAILURE;
  }
  const bool written =
      message->WriteTo([&child](std::string_view bytes) { return child->Write(bytes); }, false);
  child->CloseInput();
  const auto exit = child->Wait(kSendmailTimeout);
  if (!exit) {
    Log("sendmail command \"" + argv[0] + "\" did not end in time and was stopped");
    return MAPI_E_FAILURE;
  }
  if (exit->code == 0 && written) return SUCCESS_SUCCESS;
  Log("sendmail command \"" + argv[0] + "\" failed with exit code " + std::to_string(exit->code) +
      (written ? "" : " before it had read the message"));
  if (exit->code == kExNoUser) return MAPI_E_UNKNOWN_RECIPIENT;
  if (exit->code == kExNoPerm) return MAPI_E_LOGON_FAILURE;
  return MAPI_E_FAILURE;
}

std::uint32_t OpenComposer(const Mail& mail) {
  if (!platform::EnvironmentVariable("DISPLAY") && !platform::EnvironmentVariable("WAYLAND_DISPLAY")) {
    Log("no display: the mail composer cannot be opened");
    return MAPI_E_FAILURE;
  }
  std::vector<std::string> argv = {"xdg-email", "--utf8"};
  if (!mail.subject.empty()) argv.insert(argv.end(), {"--subject", mail.subject});
  if (!mail.body.empty()) argv.insert(argv.end(), {"--body", mail.body});
  for (const Mailbox& b : mail.cc) argv.insert(argv.end(), {"--cc", b.address});
  for (const Mailbox& b : mail.bcc) argv.insert(argv.end(), {"--bcc", b.address});
  for (const Attachment& a : mail.files) argv.insert(argv.end(), {"--attach", a.path});
  for (const Mailbox& b : mail.to) argv.push_back(b.address);
  std::string error;
  auto child = platform::PipedChild::Start(argv, {}, error);
  if (!child) {
    Log("xdg-email cannot be started: " + error);
    return MAPI_E_FAILURE;
  }
  const auto exit = child->Wait(kComposerTimeout);
  if (exit && exit->code == 0) return SUCCESS_SUCCESS;
  Log(exit ? "xdg-email found no mail composer or failed (exit code " + std::to_string(exit->code) + ")"
           : "xdg-email did not end in time and was stopped");
  return MAPI_E_FAILURE;
}

}  // namespace vx::mapi
