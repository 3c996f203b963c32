// `vxhost mail`: fills an e-mail object from the command line and sends it as a host
// application does; the user messages of the mail layer go to standard error.
#include <fstream>
#include <iterator>
#include <optional>

#include "commands.h"
#include "options.h"
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
  bool help = false;
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

enum : int {
  kDialog = kLongOnly,
  kWorker,
  kDryRun,
  kHtml,
  kTo,
  kCc,
  kBcc,
  kFrom,
  kSubject,
  kBody,
  kBodyFile,
  kTextBody,
  kAttach,
};
constexpr TOption kOptions[] = {
    {"dialog", false, kDialog},
    {"worker", false, kWorker},
    {"dry-run", false, kDryRun},
    {"html", false, kHtml},
    {"to", true, kTo},
    {"cc", true, kCc},
    {"bcc", true, kBcc},
    {"from", true, kFrom},
    {"subject", true, kSubject},
    {"body", true, kBody},
    {"body-file", true, kBodyFile},
    {"text-body", true, kTextBody},
    {"attach", true, kAttach},
    {"help", false, 'h'},
};

void PrintHelp(std::ostream& out) {
  out << kUsage
      << "Wysyła jedną wiadomość przez bibliotekę Simple MAPI domyślnego klienta poczty, tak jak\n"
         "aplikacja hosta; bibliotekę, której ten proces nie może załadować, przejmuje proces\n"
         "vx64BWorker.\n"
         "\n"
         "  --worker             zawsze przez proces vx64BWorker\n"
         "  --dry-run            wypisuje tekst JSON wiadomości i niczego nie wysyła\n"
         "  --dialog             otwiera okno redagowania wiadomości klienta poczty\n"
         "  --to=A, --cc=A, --bcc=A\n"
         "                       adresat (każda z tych opcji może wystąpić wiele razy)\n"
         "  --from=A             nadawca\n"
         "  --subject=S          temat\n"
         "  --body=T             treść\n"
         "  --body-file=F        treść z pliku F (UTF-8)\n"
         "  --html               treść jest w HTML\n"
         "  --text-body=T        tekstowa wersja treści HTML\n"
         "  --attach=F           załącznik (może wystąpić wiele razy)\n"
         "  -h, --help           wypisuje tę pomoc\n"
         "\n"
         "Kody wyjścia: 0 wysłano, 1 nie wysłano lub zgłoszono błąd, 2 błąd użycia.\n";
}

// Options come as written, in the locale's code set.
std::optional<MailArgs> Parse(const std::vector<std::string>& args, std::ostream& err) {
  const std::optional<TCommandLine> line = ParseCommandLine("mail", args, kOptions, err);
  if (!line) return std::nullopt;
  if (!line->operands.empty()) {
    err << "vxhost mail: nieoczekiwany argument \"" << line->operands.front() << "\"\n";
    return std::nullopt;
  }
  MailArgs a;
  for (const TCommandLine::Given& given : line->options) {
    const std::string& v = given.value;
    switch (given.id) {
      case 'h':
        a.help = true;
        break;
      case kDialog:
        a.dialog = true;
        break;
      case kWorker:
        a.worker = true;
        break;
      case kDryRun:
        a.dryRun = true;
        break;
      case kHtml:
        a.html = true;
        break;
      case kTo:
        a.recipients.emplace_back(vx64::RecipientKind::To, v);
        break;
      case kCc:
        a.recipients.emplace_back(vx64::RecipientKind::Cc, v);
        break;
      case kBcc:
        a.recipients.emplace_back(vx64::RecipientKind::Bcc, v);
        break;
      case kFrom:
        a.recipients.emplace_back(vx64::RecipientKind::Originator, v);
        break;
      case kSubject:
        a.subject = v;
        break;
      case kBody:
        a.body = v;
        break;
      case kBodyFile:
        a.bodyFile = v;
        break;
      case kTextBody:
        a.textBody = v;
        break;
      case kAttach:
        a.attachments.push_back(v);
        break;
      default:
        break;
    }
  }
  if (a.help) return a;
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
  if (a->help) {
    PrintHelp(out);
    return 0;
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
