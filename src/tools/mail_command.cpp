// `vxhost mail`: fills an e-mail object from the command line and sends it as a host
// application does; the user messages of the mail layer go to standard error.
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "common/global_interface.h"
#include "core/ustring.h"
#include "mail/mail_records.h"
#include "mail/mapi_email.h"
#include "tools/commands.h"

namespace vx::tools {

namespace {

constexpr const char* kUsage =
    "Użycie: vxhost mail [--worker | --dry-run] [--dialog] [--to A]... [--cc A]... [--bcc A]...\n"
    "                    [--from A] [--subject S] [--body T | --body-file F] [--html]\n"
    "                    [--text-body T] [--attach F]...\n";

// The host's message service for one command: both kinds to standard error, errors counted.
class CountingMessages : public IMessages {
 public:
  explicit CountingMessages(std::ostream& err) : FErr(err) {}
  void Inf_OLite(const UString& text) override { FErr << UToUtf8(text) << '\n'; }
  void BladOk_OLite(const UString& text) override {
    FErr << "Błąd: " << UToUtf8(text) << '\n';
    ++FErrors;
  }
  int FErrors = 0;

 private:
  std::ostream& FErr;
};

struct MailArgs {
  bool dialog = false;
  bool worker = false;  // always hand the message to the worker
  bool dryRun = false;  // print the mail record's JSON text instead of sending
  bool html = false;
  std::vector<std::pair<mail::TMailRecipKind, std::string>> recipients;
  std::string subject;
  std::optional<std::string> body;
  std::optional<std::string> bodyFile;
  std::optional<std::string> textBody;
  std::vector<std::string> attachments;
};

// Options come as written in the locale's code set, the layer's own text form.
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
      const auto kind = opt == "--to"    ? mail::TMailRecipKind::rkTO
                        : opt == "--cc"  ? mail::TMailRecipKind::rkCC
                        : opt == "--bcc" ? mail::TMailRecipKind::rkBCC
                                         : mail::TMailRecipKind::rkOriginator;
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
  std::string body = a->body.value_or("");
  if (a->bodyFile) {
    std::ifstream in(*a->bodyFile, std::ios::binary);
    if (!in) {
      err << "vxhost mail: nie można odczytać pliku \"" << *a->bodyFile << "\"\n";
      return 2;
    }
    body = UToAnsi(Utf8ToU(std::string(std::istreambuf_iterator<char>(in), {})));
  }

  auto messages = std::make_shared<CountingMessages>(err);
  const std::shared_ptr<IMessages> previous = Messages;
  Messages = messages;
  bool sent = false;
  try {
    mail::TMapiEmail email;
    for (const auto& [kind, address] : a->recipients) email.Recipients().Add(address, {}, kind);
    email.SetSubject(a->subject);
    email.SetHtmlBody(a->html);
    email.SetBody(body);
    if (a->textBody) email.SetBodyTxt(*a->textBody);
    for (const std::string& f : a->attachments) email.Attachments().push_back(AnsiToU(f));
    if (a->dryRun) {
      // What the hand-off would send as "Mail".
      out << UToUtf8(mail::TVX64Mail::FromEmail(email)->AsJSON(false, false)) << '\n';
      sent = true;
    } else {
      sent = a->worker ? email.SendThroughWorker(a->dialog) : email.Send(a->dialog);
    }
  } catch (const mail::EAbort&) {
    // Already told through the information message.
  } catch (const std::exception& e) {
    messages->BladOk_OLite(AnsiToU(e.what()));
  }
  Messages = previous;
  return sent && messages->FErrors == 0 ? 0 : 1;
}

}  // namespace vx::tools
