// The shipped library against a real SMTP server on 127.0.0.1.
#include <random>

#include "mapi_fixture.h"

namespace vx::mapi::test {
namespace {

std::string RandomBytes(std::size_t n) {
  std::mt19937_64 gen(42);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

TEST_F(MapiLibrary, StartTlsWithLoginDeliversEnvelopeHeadersPolishTextsAndAttachments) {
  SmtpServer server(dir.path(), {.starttls = true, .auth = "jan:tajne hasło"});
  ASSERT_NE(server.port(), 0);
  Config(ServerConfig(server) + "user = jan\npassword = tajne hasło\nfrom = Biuro <biuro@example.pl>\n");
  const std::string big = RandomBytes(20u << 20);
  vx::test::WriteFile(dir / "duży.bin", big);
  vx::test::WriteFile(dir / "faktura.xml", "<a>ą</a>\n");
  MessageBuilder b;
  b.Subject("Faktura za październik – zażółć gęślą jaźń")
      .Body("Dzień dobry,\r\nw załączniku faktura.\r\n")
      .Recip(MAPI_TO, "Łukasz Żółć", "SMTP:lukasz@example.pl")
      .Recip(MAPI_CC, "", "kopia@example.pl")
      .Recip(MAPI_BCC, "Ukryty", "SMTP:ukryty@example.pl")
      .File((dir / "faktura.xml").string())
      .File((dir / "duży.bin").string());
  ASSERT_EQ(Send(b.Build()), SUCCESS_SUCCESS) << testing::PrintToString(log.Lines());

  const auto received = server.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].mailFrom, "biuro@example.pl");
  EXPECT_EQ(received[0].rcptTo,
            (std::vector<std::string>{"lukasz@example.pl", "kopia@example.pl", "ukryty@example.pl"}));
  const std::string& raw = received[0].raw;
  EXPECT_EQ(raw.find("ukryty"), std::string::npos);  // Bcc only in the envelope
  EXPECT_EQ(raw.find("\nBcc:"), std::string::npos);
  EXPECT_EQ(raw.find("ą"), std::string::npos)
      << raw.substr(raw.find("ą") - 200, 400);  // all encoded to ASCII
  Parsed p(raw);
  ASSERT_NE(p.get(), nullptr);
  EXPECT_EQ(p.Subject(), "Faktura za październik – zażółć gęślą jaźń");
  EXPECT_EQ(p.Addresses(GMIME_ADDRESS_TYPE_FROM), "Biuro <biuro@example.pl>");
  EXPECT_EQ(p.Addresses(GMIME_ADDRESS_TYPE_TO), "Łukasz Żółć <lukasz@example.pl>");
  EXPECT_EQ(p.Addresses(GMIME_ADDRESS_TYPE_CC), "kopia@example.pl");
  EXPECT_NE(p.Header("Message-Id"), "(none)");
  EXPECT_NE(p.Header("Date"), "(none)");
  const auto parts = p.Parts();
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].second, "Dzień dobry,\r\nw załączniku faktura.\r\n");  // CR LF as on the wire
  EXPECT_EQ(parts[1].first, "faktura.xml");
  EXPECT_EQ(parts[1].second, "<a>ą</a>\n");
  EXPECT_EQ(parts[2].first, "duży.bin");
  EXPECT_TRUE(parts[2].second == big) << "20 MB attachment differs, size " << parts[2].second.size();
  EXPECT_NE(raw.find("filename*=UTF-8''du%C5%BCy.bin"), std::string::npos) << raw.substr(0, 3000);
  EXPECT_NE(raw.find("Content-Type: text/plain; charset=utf-8"), std::string::npos);
  EXPECT_NE(raw.find("To: =?UTF-8?"), std::string::npos);
  EXPECT_NE(raw.find("Content-Type: application/xml"), std::string::npos);
  EXPECT_FALSE(log.Contains("tajne"));
}

TEST_F(MapiLibrary, ImplicitTlsAndAnOriginatorRecipientAsSender) {
  SmtpServer server(dir.path(), {.smtps = true, .auth = "jan:x"});
  ASSERT_NE(server.port(), 0);
  Config(ServerConfig(server, "smtps") + "user = jan\npassword = x\n");
  MessageBuilder b;
  b.Subject("s")
      .Body("b")
      .Recip(MAPI_ORIG, "Ja Sam", "SMTP:ja@example.pl")
      .Recip(MAPI_TO, "", "ty@example.pl");
  ASSERT_EQ(Send(b.Build()), SUCCESS_SUCCESS) << testing::PrintToString(log.Lines());
  const auto received = server.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].mailFrom, "ja@example.pl");
  EXPECT_EQ(received[0].rcptTo, (std::vector<std::string>{"ty@example.pl"}));
  EXPECT_EQ(Parsed(received[0].raw).Addresses(GMIME_ADDRESS_TYPE_FROM), "Ja Sam <ja@example.pl>");
}

TEST_F(MapiLibrary, LoginAndDeliveryFailuresGiveTheirCodes) {
  SmtpServer server(dir.path(), {.starttls = true, .auth = "jan:dobre", .reject = {"nikt@example.pl"}});
  ASSERT_NE(server.port(), 0);
  MessageBuilder b;
  b.Subject("s").Body("b").Recip(MAPI_TO, "", "ty@example.pl");
  Config(ServerConfig(server) + "user = jan\npassword = złe-hasło-123\n");
  EXPECT_EQ(Send(b.Build()), static_cast<ULONG>(MAPI_E_LOGON_FAILURE)) << testing::PrintToString(log.Lines());
  EXPECT_FALSE(log.Contains("złe-hasło-123"));

  Config(ServerConfig(server) + "user = jan\npassword_command = printf 'dobre\\nignored\\n'\n");
  b.Recip(MAPI_TO, "", "nikt@example.pl");
  EXPECT_EQ(Send(b.Build()), static_cast<ULONG>(MAPI_E_UNKNOWN_RECIPIENT));
  EXPECT_TRUE(server.Messages().empty());

  // The certificate is not trusted without ca_file: nothing is sent.
  Config("server = smtp://127.0.0.1:" + std::to_string(server.port()) + "\nuser = jan\npassword = dobre\n");
  MessageBuilder ok;
  ok.Subject("s").Body("b").Recip(MAPI_TO, "", "ty@example.pl");
  EXPECT_EQ(Send(ok.Build()), static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(server.Messages().empty());

  // A port nobody listens on.
  Config("server = smtp://127.0.0.1:1\n");
  EXPECT_EQ(Send(ok.Build()), static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(log.Contains("SMTP delivery to smtp://127.0.0.1:1 failed"));
}

TEST_F(MapiLibrary, CredentialsNeverTravelWithoutTls) {
  SmtpServer plain(dir.path(), {});
  ASSERT_NE(plain.port(), 0);
  MessageBuilder b;
  b.Subject("s").Body("b").Recip(MAPI_TO, "", "ty@example.pl");
  Config(ServerConfig(plain) + "user = jan\npassword = sekret\n");
  EXPECT_EQ(Send(b.Build()), static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(log.Contains("offers no STARTTLS"));
  EXPECT_TRUE(plain.Messages().empty());
  // Without a user the same server takes the message in the clear.
  Config(ServerConfig(plain));
  EXPECT_EQ(Send(b.Build()), SUCCESS_SUCCESS);
  EXPECT_EQ(plain.Messages().size(), 1u);
}

TEST_F(MapiLibrary, SettingsFileWithAPasswordReadableByOthersIsRefused) {
  SmtpServer server(dir.path(), {.starttls = true, .auth = "jan:dobre"});
  MessageBuilder b;
  b.Subject("s").Body("b").Recip(MAPI_TO, "", "ty@example.pl");
  using std::filesystem::perms;
  Config(ServerConfig(server) + "user = jan\npassword = dobre\n", perms::owner_read | perms::group_read);
  EXPECT_EQ(Send(b.Build()), static_cast<ULONG>(MAPI_E_LOGON_FAILURE));
  EXPECT_TRUE(log.Contains("holds a password and may be read by group or others"));
  Config(ServerConfig(server) + "user = jan\npassword = dobre\n", perms::owner_read | perms::others_read);
  EXPECT_EQ(Send(b.Build()), static_cast<ULONG>(MAPI_E_LOGON_FAILURE));
  EXPECT_FALSE(log.Contains("dobre"));
  EXPECT_TRUE(server.Messages().empty());
  // Anyone who may change the file could name a program to run: refused whatever it holds.
  Config(ServerConfig(server) + "sendmail = /bin/true\n", perms::owner_all | perms::group_write);
  EXPECT_EQ(Send(b.Build()), static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(log.Contains("may be changed by group or others"));
  // Without a password in it the file may be readable.
  Config(ServerConfig(server) + "user = jan\npassword_command = echo dobre\n",
         perms::owner_read | perms::group_read | perms::others_read);
  EXPECT_EQ(Send(b.Build()), SUCCESS_SUCCESS);
}

TEST_F(MapiLibrary, NoHeaderCanBeInjectedThroughSubjectNamesOrAddresses) {
  SmtpServer server(dir.path(), {});
  Config(ServerConfig(server));
  MessageBuilder b;
  b.Subject("Hej\r\nBcc: evil@example.com\r\nX-Injected: 1")
      .Body("b")
      .Recip(MAPI_TO, "Ala\r\nX-Injected: 2", "ala@example.pl");
  ASSERT_EQ(Send(b.Build()), SUCCESS_SUCCESS);
  const auto received = server.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].rcptTo, (std::vector<std::string>{"ala@example.pl"}));
  EXPECT_EQ(received[0].raw.find("\nX-Injected"), std::string::npos) << received[0].raw;
  EXPECT_EQ(received[0].raw.find("\nBcc"), std::string::npos);
  Parsed p(received[0].raw);
  EXPECT_EQ(p.Header("X-Injected"), "(none)");

  for (const char* address : {"a@b.pl\r\nRCPT TO:<evil@example.com>", "a@b.pl>,<evil@example.com",
                              "-oQ/tmp@x.pl", "no-at-sign", ""}) {
    MessageBuilder bad;
    bad.Subject("s").Body("b").Recip(MAPI_TO, "", address);
    EXPECT_EQ(Send(bad.Build()), static_cast<ULONG>(MAPI_E_INVALID_RECIPS)) << address;
  }
  MessageBuilder x400;
  x400.Subject("s").Body("b").Recip(MAPI_TO, "", "X400:c=pl;a=x");
  EXPECT_EQ(Send(x400.Build()), static_cast<ULONG>(MAPI_E_BAD_RECIPTYPE));
  EXPECT_EQ(server.Messages().size(), 1u);
}

TEST_F(MapiLibrary, MessageProblemsFoundBeforeDelivery) {
  SmtpServer server(dir.path(), {});
  Config(ServerConfig(server));
  MessageBuilder none;
  none.Subject("s").Body("b");
  EXPECT_EQ(Send(none.Build()), static_cast<ULONG>(MAPI_E_INVALID_RECIPS));
  MessageBuilder missing;
  missing.Recip(MAPI_TO, "", "a@b.pl").File((dir / "brak.pdf").string());
  EXPECT_EQ(Send(missing.Build()), static_cast<ULONG>(MAPI_E_ATTACHMENT_NOT_FOUND));
  MessageBuilder folder;
  folder.Recip(MAPI_TO, "", "a@b.pl").File(dir.path().string());
  EXPECT_EQ(Send(folder.Build()), static_cast<ULONG>(MAPI_E_ATTACHMENT_OPEN_FAILURE));
  EXPECT_EQ(send(0, 0, nullptr, 0, 0), static_cast<ULONG>(MAPI_E_INVALID_MESSAGE));
  Config("server = http://127.0.0.1:80\n");
  MessageBuilder ok;
  ok.Recip(MAPI_TO, "", "a@b.pl");
  EXPECT_EQ(Send(ok.Build()), static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(server.Messages().empty());
}

TEST_F(MapiLibrary, OtherEntryPointsAreNotSupportedAndFreeBufferTakesNull) {
  auto* logon = reinterpret_cast<MAPILOGON*>(library.Symbol("MAPILogon"));
  auto* read = reinterpret_cast<MAPIREADMAIL*>(library.Symbol("MAPIReadMail"));
  auto* freeBuffer = reinterpret_cast<MAPIFREEBUFFER*>(library.Symbol("MAPIFreeBuffer"));
  ASSERT_TRUE(logon && read && freeBuffer);
  LHANDLE session = 0;
  EXPECT_EQ(logon(0, nullptr, nullptr, 0, 0, &session), static_cast<ULONG>(MAPI_E_NOT_SUPPORTED));
  EXPECT_EQ(read(0, 0, nullptr, 0, 0, nullptr), static_cast<ULONG>(MAPI_E_NOT_SUPPORTED));
  EXPECT_EQ(freeBuffer(nullptr), static_cast<ULONG>(SUCCESS_SUCCESS));
  int notOurs = 0;
  EXPECT_EQ(freeBuffer(&notOurs), static_cast<ULONG>(MAPI_E_FAILURE));
}

}  // namespace
}  // namespace vx::mapi::test
