// A host application on the installed vx64 host library: asks a worker for its status, then
// validates a file through the worker (or in this process with --in-process); or prints the mail
// document that a send to ADDRESS through the worker would carry, and sends nothing.
//
//   vx64-example [--in-process] FILE
//   vx64-example --mail-to ADDRESS
//
// The worker is found beside this program, in the install of the host library (the shared library
// this program runs with, or for the static one the install this program lies in), or where
// VX64_WORKER names it.
#include <cstring>
#include <iostream>
#include <memory>

#include <vx64/host.h>

namespace {

// Log lines of the library, the worker's replayed lines included, go to standard error.
class StderrLogger : public vx64::ILogger {
 public:
  void DoLog(const std::u16string& text, std::int32_t level) override {
    std::cerr << "[" << level << "] " << vx64::ToUtf8(text) << '\n';
  }
};

// Messages for the user (a missing mail client, say) go to standard error as well.
class StderrMessages : public vx64::IMessages {
 public:
  void Information(const std::u16string& text) override { std::cerr << vx64::ToUtf8(text) << '\n'; }
  void Error(const std::u16string& text) override { std::cerr << "error: " << vx64::ToUtf8(text) << '\n'; }
};

// The mail dry run: the message as the library would hand it to the worker.
int MailDocument(const char* address) {
  vx64::SetMessages(std::make_shared<StderrMessages>());
  vx64::MailMessage message;
  message.Recipients.push_back({vx64::FromUtf8(address), u"", vx64::RecipientKind::To, u""});
  message.Subject = u"vx64 " + vx64::FromUtf8(vx64::Version());
  message.Body = u"Zażółć gęślą jaźń";
  const vx64::MailResult result = vx64::SendMail(message, false, vx64::MailWay::DryRun);
  vx64::SetMessages(nullptr);
  if (!result.Sent || !result.Errors.empty()) return 1;
  std::cout << vx64::ToUtf8(result.Document) << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--mail-to") == 0) return MailDocument(argv[2]);
  bool inProcess = argc == 3 && std::strcmp(argv[1], "--in-process") == 0;
  if (argc != 2 && !inProcess) {
    std::cerr << "usage: vx64-example [--in-process] FILE | --mail-to ADDRESS\n";
    return 2;
  }
  std::cout << "vx64 " << vx64::Version() << " (headers " << VX64_VERSION << ")\n";

  StderrLogger logger;
  vx64::SetLogger(&logger, 200);  // 200: the worker sends its validator's lines back

  if (!inProcess) {
    vx64::WorkerClient client;
    if (!client.Start64BWorker()) {
      std::cerr << "the worker " << vx64::ToUtf8(vx64::WorkerProgram()) << " did not start\n";
      vx64::SetLogger(nullptr, 0);
      return 2;
    }
    std::cout << "worker status: " << vx64::ToUtf8(client.AskStatus()) << '\n';
  }  // the client closes its worker here

  const std::u16string file = vx64::FromUtf8(argv[argc - 1]);
  const std::u16string result =
      vx64::ValidateXMLFile(file, inProcess ? vx64::ValidationMode::InProcess : vx64::ValidationMode::Worker);
  vx64::SetLogger(nullptr, 0);
  std::cout << (result.empty() ? std::string("OK") : vx64::ToUtf8(result)) << '\n';
  return result.empty() ? 0 : 1;
}
