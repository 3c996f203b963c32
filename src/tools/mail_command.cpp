// `vxhost mail`: fills an e-mail object from the command line and sends it as a host
// application does; the user messages of the mail layer go to standard error.
#include <fstream>
#include <iterator>
#include <optional>

#include "commands.h"
#include "stderr_services.h"
#include "vx64/mail.h"
#include "vx64/services.h"

namespace vx::tools {

namespace {

constexpr const char* kUsage =
    "Użycie: vxhost mail [--worker | --dry-run] [--dialog] [--to A]... [--cc A]... [--bcc A]...\n"
    "                    [--from A] [--subject S] [--body T | --body-file F] [--html]\n"
    "                    [--text-body T] [--attach F]...\n";

struct MailArgs {
  bool dialog = false;
  bool worker = false;  // always hand the message to the worker
  bool dryRun = false;  // print the mail record's JSON text instead of sending
  bool html = false;
  std::vector<std::pair<vx64::RecipientKind, std::string>> recipients;
  std::string subject;
  std::optional<std::string> body;
  std::optional<std::string> bodyFile;
  std::optional<std::string> textBody;
  std::vector<std::string> attachments;
};

// Options come as written, in the locale's code set.
std::optional<MailArgs> Parse(const std::vector<std::string>& args, std::ostream& err) {
  MailArgs a;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) {
        err << "vxhost mail: " << opt << " wymaga wartości\n";
        return nullptr;
      }
      return &args[++i];
    };
    if (opt == "--dialog") {
      a.dialog = true;
    } else if (opt == "--worker") {
      a.worker = true;
    } else if (opt == "--dry-run") {
      a.dryRun = true;
    } else if (opt == "--html") {
      a.html = true;
    } else if (opt == "--to" || opt == "--cc" || opt == "--bcc" || opt == "--from") {
      const auto* v = value();
      if (v == nullptr) return std::nullopt;
      const auto kind = opt == "--to"    ? vx64::RecipientKind::To
                        : opt == "--cc"  ? vx64::RecipientKind::Cc
                        : opt == "--bcc" ? vx64::RecipientKind::Bcc
                                         : vx64::RecipientKind::Originator;
      a.recipients.emplace_back(kind, *v);
    } else if (opt == "--subject" || opt == "--body" || opt == "--body-file" || opt == "--text-body" ||
               opt == "--attach") {
      const auto* v = value();
      if (v == nullptr) return std::nullopt;
      if (opt == "--subject") a.subject = *v;
      if (opt == "--body") a.body = *v;
      if (opt == "--body-file") a.bodyFile = *v;
      if (opt == "--text-body") a.textBody = *v;
      if (opt == "--attach") a.attachments.push_back(*v);
    } else {
      err << "vxhost mail: nieznana opcja \"" << opt << "\"\n";
      return std::nullopt;
    }
  }
  if (a.body && a.bodyFile) {
    err << "vxhost mail: --body i --body-file wykluczają się\n";
    return std::nullopt;
  }
  if (a.worker && a.dryRun) {
    err << "vxhost mail: --worker i --dry-run wykluczają się\n";
    return std::nullopt;
  }
  return a;
}

}  // namespace

int MailCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto a = Parse(args, err);
  if (!a) {
    err << kUsage;
    return 2;
  }
  vx64::MailMessage message;
  if (a->bodyFile) {
    std::ifstream in(*a->bodyFile, std::ios::binary);
    if (!in) {
      err << "vxhost mail: nie można odczytać pliku \"" << *a->bodyFile << "\"\n";
      return 2;
    }
    message.Body = vx64::FromUtf8(std::string(std::istreambuf_iterator<char>(in), {}));
  } else {
    message.Body = vx64::FromLocale(a->body.value_or(""));
  }
  for (const auto& [kind, address] : a->recipients) {
    message.Recipients.push_back({.Address = vx64::FromLocale(address), .Kind = kind});
  }
  message.Subject = vx64::FromLocale(a->subject);
  message.HtmlBody = a->html;
  message.TextBody = vx64::FromLocale(a->textBody.value_or(""));
  for (const std::string& f : a->attachments) message.Attachments.push_back(vx64::FromLocale(f));

  const TStderrServices services(0, false, err);
  const vx64::MailWay way = a->dryRun   ? vx64::MailWay::DryRun
                            : a->worker ? vx64::MailWay::Worker
                                        : vx64::MailWay::Auto;
  const vx64::MailResult result = vx64::SendMail(message, a->dialog, way);
  // What the hand-off would send as "Mail".
  if (way == vx64::MailWay::DryRun && result.Sent) out << vx64::ToUtf8(result.Document) << '\n';
  return result.Sent && result.Errors.empty() ? 0 : 1;
}

}  // namespace vx::tools
