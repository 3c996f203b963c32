#include "mapi/mail_config.h"

#include "mapi/mapi.h"
#include "mapi/mapi_log.h"
#include "platform/child_process.h"
#include "platform/common/ini_text.h"
#include "platform/process.h"
#include "platform/user_session.h"

namespace vx::mapi {

namespace {

constexpr std::size_t kMaxConfigBytes = 64 * 1024;
constexpr std::size_t kMaxPasswordBytes = 4096;
constexpr auto kPasswordCommandTimeout = std::chrono::seconds(30);

ConfigResult Refuse(std::uint32_t code, const std::string& why) {
  Log(why);
  return ConfigResult{std::nullopt, code};
}

bool ValidServer(const std::string& server) {
  return server.rfind("smtp://", 0) == 0 || server.rfind("smtps://", 0) == 0;
}

}  // namespace

std::string MailConfigPath() {
  if (const auto xdg = platform::EnvironmentVariable("XDG_CONFIG_HOME"); xdg && xdg->front() == '/') {
    return *xdg + "/vx64/mail.conf";
  }
  return platform::EnvironmentVariable("HOME").value_or("") + "/.config/vx64/mail.conf";
}

ConfigResult ReadMailConfig() {
  MailConfig config;
  const std::string path = MailConfigPath();
  const auto status = platform::StatFile(path);
  if (!status) return ConfigResult{config, 0};
  if (!status->regular) return Refuse(MAPI_E_FAILURE, path + " is not a regular file");
  // The file names programs to run (sendmail, password_command): only its owner may change it.
  if (!status->ownedByUser || (status->mode & 022) != 0) {
    return Refuse(MAPI_E_FAILURE,
                  path + " belongs to another user or may be changed by group or others; refused");
  }
  const auto text = platform::ReadSmallFile(path, kMaxConfigBytes);
  if (!text) return Refuse(MAPI_E_FAILURE, path + " cannot be read or is larger than 64 KiB");

  auto get = [&](const char* key) { return IniValue(*text, "mail", key); };
  config.server = get("server").value_or("");
  config.user = get("user").value_or("");
  config.from = get("from").value_or("");
  config.caFile = get("ca_file").value_or("");
  if (auto sendmail = get("sendmail"); sendmail && !sendmail->empty()) config.sendmail = *sendmail;

  if (!config.server.empty() && !ValidServer(config.server)) {
    return Refuse(MAPI_E_FAILURE, path + ": server must be smtp://host:port or smtps://host:port");
  }
  if (auto password = get("password")) {
    if ((status->mode & 044) != 0) {
      return Refuse(MAPI_E_LOGON_FAILURE, path +
                                              " holds a password and may be read by group or others; "
                                              "refused (chmod 600 it or use password_command)");
    }
    config.password = *password;
  } else if (auto command = get("password_command"); command && !command->empty()) {
    std::string error;
    // A group of its own: a command that does not end in time is ended with what it started.
    auto child = platform::PipedChild::Start({"/bin/sh", "-c", *command},
                                             {.captureOutput = true, .ownProcessGroup = true}, error);
    if (!child) return Refuse(MAPI_E_LOGON_FAILURE, "password_command cannot be started: " + error);
    std::string out = child->ReadOutput(kMaxPasswordBytes, kPasswordCommandTimeout);
    const auto exit = child->Wait(std::chrono::seconds(5));
    if (!exit || exit->code != 0) return Refuse(MAPI_E_LOGON_FAILURE, "password_command failed");
    out = out.substr(0, out.find('\n'));
    if (!out.empty() && out.back() == '\r') out.pop_back();
    config.password = std::move(out);
  }
  return ConfigResult{config, 0};
}

}  // namespace vx::mapi
