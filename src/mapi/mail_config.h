#pragma once
// The library's settings: $XDG_CONFIG_HOME/vx64/mail.conf (default ~/.config/vx64/mail.conf),
// INI section [mail]. The password is kept only in memory and never written to a log line.
#include <cstdint>
#include <optional>
#include <string>

namespace vx::mapi {

struct MailConfig {
  std::string server;  // smtp://host:port or smtps://host:port; empty: the sendmail way
  std::string user;
  std::string password;  // from "password", or the first line of "password_command"'s output
  std::string from;
  std::string sendmail = "/usr/sbin/sendmail -t -i";
  std::string caFile;
};

struct ConfigResult {
  std::optional<MailConfig> config;  // nullopt: refused, with `code` and the reason logged
  std::uint32_t code = 0;
};

// The file read.
[[nodiscard]] std::string MailConfigPath();
// Reads the file; a missing file gives the defaults. A file holding "password" that group or
// others may read is refused (MAPI_E_LOGON_FAILURE), and so is a failing password command; a file
// of another user or one that group or others may change, an unreadable or oversized file or a
// malformed server address is MAPI_E_FAILURE.
[[nodiscard]] ConfigResult ReadMailConfig();

}  // namespace vx::mapi
