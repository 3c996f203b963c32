// The sendmail way through real msmtp, the composer way through xdg-email, and the library as
// the system's "mapi32.dll" behind the e-mail object.
#include <sys/stat.h>

#include "mail/mail_fixture.h"
#include "mail/mapi_email.h"
#include "mapi_fixture.h"

namespace vx::mapi::test {
namespace {

void WriteScript(const std::filesystem::path& path, const std::string& body) {
  vx::test::WriteFile(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0700);
}

TEST_F(MapiLibrary, SendmailWayThroughMsmtpKeepsBccInTheEnvelopeOnly) {
  SmtpServer server(dir.path(), {});
  ASSERT_NE(server.port(), 0);
  const auto rc = dir / "msmtprc";
  vx::test::WriteFile(rc, "account default\nhost 127.0.0.1\nport " + std::to_string(server.port()) +
                              "\nauth off\ntls off\nfrom nadawca@example.pl\n");
  chmod(rc.c_str(), 0600);
  Config("sendmail = /usr/bin/msmtp -C " + rc.string() +
         " --read-envelope-from -t -i\nfrom = Kasia <kasia@example.pl>\n");
  vx::test::WriteFile(dir / "zał.txt", "treść\n.\nkoniec\n");
  MessageBuilder b;
  b.Subject("Sprawozdanie — wrzesień")
      .Body("Linia 1\r\n.\r\nLinia 3 ąę\r\n")
      .Recip(MAPI_TO, "Zenon", "zenon@example.pl")
      .Recip(MAPI_BCC, "", "ukryty@example.pl")
      .File((dir / "zał.txt").string());
  ASSERT_EQ(Send(b.Build()), SUCCESS_SUCCESS) << testing::PrintToString(log.Lines());
  const auto received = server.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].mailFrom, "kasia@example.pl");
  EXPECT_EQ(received[0].rcptTo, (std::vector<std::string>{"zenon@example.pl", "ukryty@example.pl"}));
  EXPECT_EQ(received[0].raw.find("ukryty"), std::string::npos);
  Parsed p(received[0].raw);
  EXPECT_EQ(p.Subject(), "Sprawozdanie — wrzesień");
  EXPECT_EQ(p.Addresses(GMIME_ADDRESS_TYPE_FROM), "Kasia <kasia@example.pl>");
  const auto parts = p.Parts();
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].second, "Linia 1\r\n.\r\nLinia 3 ąę\r\n");
  EXPECT_EQ(parts[1].first, "zał.txt");
  EXPECT_EQ(parts[1].second, "treść\n.\nkoniec\n");
}

TEST_F(MapiLibrary, SendmailWithoutHeaderRecipientsGetsThemAsArgumentsAndFailuresAreReported) {
  WriteScript(dir / "fake-sendmail", "printf '%s\\n' \"$@\" > \"" + (dir / "args").string() + "\"\ncat > \"" +
                                         (dir / "message").string() + "\"\n");
  Config("sendmail = " + (dir / "fake-sendmail").string() + " -i\n");
  MessageBuilder b;
  b.Subject("s").Body("b").Recip(MAPI_TO, "", "a@example.pl").Recip(MAPI_BCC, "", "b@example.pl");
  ASSERT_EQ(Send(b.Build()), SUCCESS_SUCCESS);
  EXPECT_EQ(vx::test::ReadFile(dir / "args"), "-i\n--\na@example.pl\nb@example.pl\n");
  const std::string message = vx::test::ReadFile(dir / "message");
  EXPECT_EQ(message.find("b@example.pl"), std::string::npos);
  EXPECT_EQ(message.find('\r'), std::string::npos);  // local line ends for a local program
  EXPECT_NE(message.find("\nTo: a@example.pl\n"), std::string::npos) << message;

  WriteScript(dir / "refusing", "cat >/dev/null\nexit 67\n");
  Config("sendmail = " + (dir / "refusing").string() + " -t\n");
  EXPECT_EQ(Send(b.Build()), static_cast<ULONG>(MAPI_E_UNKNOWN_RECIPIENT));
  // A program that ends without reading its input must not take the caller down with SIGPIPE.
  WriteScript(dir / "early", "exit 1\n");
  Config("sendmail = " + (dir / "early").string() + " -t\n");
  vx::test::WriteFile(dir / "big.bin", std::string(8u << 20, 'x'));
  b.File((dir / "big.bin").string());
  EXPECT_EQ(Send(b.Build()), static_cast<ULONG>(MAPI_E_FAILURE));
  Config("sendmail = " + (dir / "no-such-program").string() + "\n");
  EXPECT_EQ(Send(b.Build()), static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(log.Contains("sendmail command cannot be started"));
}

class Composer : public MapiLibrary {
 protected:
  void SetUp() override {
    MapiLibrary::SetUp();
    std::filesystem::create_directories(dir / "data/applications");
    WriteScript(dir / "composer", "printf '%s\\n' \"$@\" > \"" + (dir / "composer.txt").string() + "\"\n");
    vx::test::WriteFile(dir / "data/applications/vx-test-composer.desktop",
                        "[Desktop Entry]\nType=Application\nName=Composer\nExec=" +
                            (dir / "composer").string() + " %u\nMimeType=x-scheme-handler/mailto;\n");
    vx::test::WriteFile(dir / "config/mimeapps.list",
                        "[Default Applications]\nx-scheme-handler/mailto=vx-test-composer.desktop\n");
    for (const char* v :
         {"DISPLAY", "WAYLAND_DISPLAY", "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CURRENT_DESKTOP",
          "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "DESKTOP_SESSION", "BROWSER"}) {
      if (const char* old = std::getenv(v)) saved_.emplace_back(v, old);
      unsetenv(v);
    }
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir / "data").c_str(), 1);
  }
  void TearDown() override {
    for (const char* v : {"DISPLAY", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) unsetenv(v);
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    MapiLibrary::TearDown();
  }
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(Composer, DialogOpensTheMailtoHandlerWithTheWholeMessage) {
  setenv("DISPLAY", ":99", 1);
  // Settings the delivery would refuse do not matter to the composer.
  Config("password = x\n", std::filesystem::perms::all);
  vx::test::WriteFile(dir / "faktura.pdf", "%PDF");
  MessageBuilder b;
  b.Subject("Zażółć & co")
      .Body("Dzień dobry")
      .Recip(MAPI_TO, "Ala", "ala@example.pl")
      .Recip(MAPI_CC, "", "cc@example.pl")
      .File((dir / "faktura.pdf").string());
  ASSERT_EQ(Send(b.Build(), MAPI_LOGON_UI | MAPI_DIALOG), SUCCESS_SUCCESS)
      << testing::PrintToString(log.Lines());
  EXPECT_EQ(vx::test::ReadFile(dir / "composer.txt"),
            "mailto:ala@example.pl?subject=Za%C5%BC%C3%B3%C5%82%C4%87%20%26%20co&body=Dzie%C5%84%20dobry"
            "&cc=cc@example.pl&attach=" +
                (dir / "faktura.pdf").string() + "\n");
  // No recipients: the user adds them in the composer.
  MessageBuilder empty;
  empty.Subject("x");
  EXPECT_EQ(Send(empty.Build(), MAPI_DIALOG), SUCCESS_SUCCESS);
  EXPECT_EQ(vx::test::ReadFile(dir / "composer.txt"), "mailto:?subject=x\n");
}

TEST_F(Composer, NoDisplayOrNoComposerIsAFailure) {
  MessageBuilder b;
  b.Recip(MAPI_TO, "", "ala@example.pl");
  EXPECT_EQ(Send(b.Build(), MAPI_DIALOG), static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(log.Contains("no display"));
  setenv("DISPLAY", ":99", 1);
  std::filesystem::remove(dir / "config/mimeapps.list");
  std::filesystem::remove(dir / "data/applications/vx-test-composer.desktop");
  EXPECT_EQ(Send(b.Build(), MAPI_DIALOG), static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_FALSE(std::filesystem::exists(dir / "composer.txt"));
}

TEST_F(MapiLibrary, AsTheSystemLibraryBehindTheEmailObjectAnUnreachableServerIsReported) {
  // The registry names "mapi32.dll", found beside the test programs' folder in ../lib.
  vx::test::WriteFile(
      dir / "machine.reg",
      "Windows Registry Editor Version 5.00\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Messaging Subsystem]\r\n\"MAPI\"=\"1\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"vx64\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\vx64]\r\n@=\"vx64 mail\"\r\n\"DLLPath\"=\"" +
          LibraryPath() + "\"\r\n");
  setenv("VX64_REGISTRY_HKLM", (dir / "machine.reg").c_str(), 1);
  Config("server = smtp://127.0.0.1:1\n");
  auto captured = std::make_shared<mail::test::CapturedMessages>();
  Messages = captured;
  {
    mail::TMapiEmail email;
    EXPECT_EQ(email.GetClientLibName(), "mapi32.dll");
    email.Recipients().Add("ala@example.pl", "Ala");
    email.SetSubject("s");
    EXPECT_TRUE(email.Send(false));  // reported and counted as done
    EXPECT_TRUE(email.ClientLibLoaded());
  }
  Messages.reset();
  unsetenv("VX64_REGISTRY_HKLM");
  EXPECT_EQ(captured->errors,
            (std::vector<std::string>{"Błąd MAPI (2) \"Ogólny błąd MAPI. Prawdopodobnie domyślny "
                                      "klient poczty nie obsługuje interfejsu MAPI.\""}));
}

}  // namespace
}  // namespace vx::mapi::test
