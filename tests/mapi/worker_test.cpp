// The whole hand-off: host -> vx64BWorker -> the shipped library -> an SMTP server on 127.0.0.1,
// and a worker killed while the library waits on a server that never answers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "mail/mail_fixture.h"
#include "mail/mail_job.h"
#include "mapi_fixture.h"

namespace vx::mapi::test {
namespace {

using namespace std::chrono_literals;

// The processes this one started that are still there (zombies included).
std::vector<pid_t> Children() {
  std::vector<pid_t> out;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    pid_t ppid = 0;
    rest >> state >> ppid;
    if (ppid == getpid()) out.push_back(std::stoi(name));
  }
  return out;
}

class MailThroughWorker : public MapiLibrary {
 protected:
  void SetUp() override {
    MapiLibrary::SetUp();
    vx::test::WriteFile(
        dir / "machine.reg",
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"vx64\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\vx64]\r\n@=\"vx64 mail\"\r\n\"DLLPath\"=\"" +
            LibraryPath() + "\"\r\n");
    setenv("VX64_REGISTRY_HKLM", (dir / "machine.reg").c_str(), 1);
    setenv("VX64_REGISTRY_HKCU", (dir / "user.reg").c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);  // the worker's code set is the host's
    unsetenv("VX64_WORKER");
    messages = std::make_shared<mail::test::CapturedMessages>();
    Messages = messages;
  }
  void TearDown() override {
    Messages.reset();
    for (const char* v : {"VX64_REGISTRY_HKLM", "VX64_REGISTRY_HKCU", "LC_ALL"}) unsetenv(v);
    MapiLibrary::TearDown();
  }
  std::shared_ptr<mail::test::CapturedMessages> messages;
};

TEST_F(MailThroughWorker, TheMessageArrivesWithItsAttachmentsAndPolishLetters) {
  SmtpServer server(dir.path(), {});
  ASSERT_NE(server.port(), 0);
  Config(ServerConfig(server) + "from = Biuro <biuro@example.pl>\n");
  std::string binary(70000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7 + i / 256);
  vx::test::WriteFile(dir / "dane ż.bin", binary);
  vx::test::WriteFile(dir / "faktura.xml", "<a>ą</a>\n");

  mail::TMapiEmail email;
  email.SetSubject("Faktura – zażółć gęślą jaźń");
  email.SetBody("Dzień dobry,\r\nw załączniku faktura.");
  email.Recipients().Add(" lukasz@example.pl ", "Łukasz Żółć");
  email.Recipients().Add("kopia@example.pl", "", mail::TMailRecipKind::rkCC);
  email.Attachments() = {Utf8ToU((dir / "faktura.xml").string()), Utf8ToU((dir / "dane ż.bin").string())};
  ASSERT_TRUE(email.SendThroughWorker(false)) << testing::PrintToString(messages->errors);
  EXPECT_TRUE(messages->errors.empty());
  EXPECT_TRUE(messages->infos.empty());

  const auto received = server.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].mailFrom, "biuro@example.pl");
  EXPECT_EQ(received[0].rcptTo, (std::vector<std::string>{"lukasz@example.pl", "kopia@example.pl"}));
  Parsed p(received[0].raw);
  ASSERT_NE(p.get(), nullptr);
  EXPECT_EQ(p.Subject(), "Faktura – zażółć gęślą jaźń");
  EXPECT_EQ(p.Addresses(GMIME_ADDRESS_TYPE_TO), "Łukasz Żółć <lukasz@example.pl>");
  const auto parts = p.Parts();
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].second, "Dzień dobry,\r\nw załączniku faktura.\r\n");  // CR LF appended
  EXPECT_EQ(parts[1].first, "faktura.xml");
  EXPECT_EQ(parts[1].second, "<a>ą</a>\n");
  EXPECT_EQ(parts[2].first, "dane ż.bin");
  EXPECT_TRUE(parts[2].second == binary) << "attachment differs, size " << parts[2].second.size();
}

TEST_F(MailThroughWorker, AWorkerKilledDuringTheSendIsReportedAtOnce) {
  // A server that takes the connection and never says a word.
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  Config("server = smtp://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "\nfrom = a@example.pl\n");

  std::chrono::steady_clock::time_point killedAt{};
  int connection = -1;
  std::thread killer([&] {
    pollfd pfd{listener, POLLIN, 0};
    if (poll(&pfd, 1, 20000) != 1) return;
    connection = accept(listener, nullptr, nullptr);  // the library waits for the greeting now
    std::this_thread::sleep_for(100ms);
    for (pid_t child : Children()) {
      killedAt = std::chrono::steady_clock::now();
      kill(child, SIGKILL);
    }
  });
  mail::TMapiEmail email;
  email.Recipients().Add("a@example.pl");
  const bool sent = email.SendThroughWorker(false);
  const auto returnedAt = std::chrono::steady_clock::now();
  killer.join();
  if (connection >= 0) close(connection);
  close(listener);
  ASSERT_NE(killedAt, std::chrono::steady_clock::time_point{}) << "the library never connected";
  EXPECT_FALSE(sent);
  EXPECT_LT(returnedAt - killedAt, 1s);
  EXPECT_EQ(messages->errors,
            std::vector<std::string>{"Wysyłanie poczty: brak odpowiedzi procesu vx64BWorker."});
  EXPECT_TRUE(Children().empty()) << "a process is left behind";
}

}  // namespace
}  // namespace vx::mapi::test
