// The host library's mail API as an application uses it: the dry run's document, sends in this
// process and through the worker to the recording client library, and what the user is told.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/temp_dir.h"
#include "vx64/mail.h"
#include "vx64/services.h"

namespace {

constexpr const char* kDirect = "Microsoft Outlook";  // sent on the calling thread

class CapturedMessages : public vx64::IMessages {
 public:
  void Information(const std::u16string& text) override { infos.push_back(text); }
  void Error(const std::u16string& text) override { errors.push_back(text); }
  std::vector<std::u16string> infos;
  std::vector<std::u16string> errors;
};

class HostMail : public ::testing::Test {
 protected:
  void SetUp() override {
    vx64::SetMessages(messages);
    setenv("VX64_REGISTRY_HKLM", (dir / "machine.reg").c_str(), 1);
    setenv("VX64_REGISTRY_HKCU", (dir / "user.reg").c_str(), 1);
    setenv("VX_TEST_MAPI_RECORD", (dir / "record.txt").c_str(), 1);
    setenv("TMPDIR", dir.path().c_str(), 1);
    setenv("VX64_WORKER", vx::test::BinPath("vx64BWorker").c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);  // the worker's code set is the host's
  }
  void TearDown() override {
    vx64::SetMessages(nullptr);
    for (const char* v : {"VX64_REGISTRY_HKLM", "VX64_REGISTRY_HKCU", "VX_TEST_MAPI_RECORD", "TMPDIR",
                          "VX64_WORKER", "LC_ALL", "VX_TEST_MAPI_RESULT"}) {
      unsetenv(v);
    }
  }
  // The machine registry with one default client; an empty library path registers none.
  void UseClient(const std::string& name, const std::string& library) {
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n"
        "@=\"" +
        name + "\"\r\n\r\n";
    if (!library.empty()) {
      text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\" + name + "]\r\n@=\"" + name +
              "\"\r\n\"DLLPath\"=\"" + library + "\"\r\n";
    }
    vx::test::WriteFile(dir / "machine.reg", text);
  }
  [[nodiscard]] std::string Record() const { return vx::test::ReadFile(dir / "record.txt"); }

  vx::test::TempDir dir;
  std::shared_ptr<CapturedMessages> messages = std::make_shared<CapturedMessages>();
};

const std::u16string kMissingAttachment = u"Błąd MAPI (11) \"Załącznik nie został odnaleziony\"";

vx64::MailMessage Letter() {
  vx64::MailMessage m;
  m.Recipients = {{u" a@b.pl ", u"Ala", vx64::RecipientKind::To, u""},
                  {u"c@d.pl", u"", vx64::RecipientKind::Cc, u"X400"},
                  {u"e@f.pl", u"", vx64::RecipientKind::Bcc, u""},
                  {u"ja@x.pl", u"", vx64::RecipientKind::Originator, u""}};
  m.Subject = u"Zażółć";
  m.Body = u"treść";
  return m;
}

TEST_F(HostMail, DryRunGivesTheWorkersDocumentAndSendsNothing) {
  UseClient("Poczta", std::string(VX_TEST_LIB_DIR) + "/recording_client.so");
  vx64::MailMessage m = Letter();
  m.Attachments = {u"/dane/ż.pdf"};
  const vx64::MailResult r = vx64::SendMail(m, true, vx64::MailWay::DryRun);
  EXPECT_TRUE(r.Sent);
  EXPECT_TRUE(r.Errors.empty());
  EXPECT_EQ(vx64::ToUtf8(r.Document),
            "{\"Attachments\":[\"/dane/\\u017c.pdf\"],\"Body\":\"tre\\u015b\\u0107\\r\\n\",\"BodyTxt\":\"\","
            "\"HtmlBody\":false,\"ParentWnd\":0,\"Recipients\":["
            "{\"AddressType\":\"\",\"Address\":\"a@b.pl\",\"Kind\":1,\"Name\":\"Ala\"},"
            "{\"AddressType\":\"X400\",\"Address\":\"c@d.pl\",\"Kind\":2,\"Name\":\"\"},"
            "{\"AddressType\":\"\",\"Address\":\"e@f.pl\",\"Kind\":3,\"Name\":\"\"},"
            "{\"AddressType\":\"\",\"Address\":\"ja@x.pl\",\"Kind\":0,\"Name\":\"\"}],"
            "\"RecipientsAddressType\":\"SMTP\",\"RecipientsOriginator\":null,"
            "\"Subject\":\"Za\\u017c\\u00f3\\u0142\\u0107\",\"DirectHtml\":false}");
  EXPECT_EQ(Record(), "");
}

TEST_F(HostMail, SendsInThisProcessAndTellsTheUserOfFailures) {
  UseClient(kDirect, std::string(VX_TEST_LIB_DIR) + "/recording_client.so");
  vx64::MailResult r = vx64::SendMail(Letter(), false);
  EXPECT_TRUE(r.Sent);
  EXPECT_EQ(r.Code, 0u);
  EXPECT_TRUE(r.Errors.empty());
  EXPECT_NE(Record().find("subject=\"Zażółć\"\nnote=\"treść\\r\\n\"\n"), std::string::npos) << Record();
  EXPECT_NE(Record().find("recip class=2 eid=0 name=\"c@d.pl\"\n  address=\"X400:c@d.pl\""),
            std::string::npos);

  // A failure raised before the library is called, and one the library answers: both are told.
  vx64::MailMessage missing = Letter();
  missing.Attachments = {vx64::FromUtf8((dir / "brak.pdf").string())};
  r = vx64::SendMail(missing, false);
  EXPECT_FALSE(r.Sent);
  EXPECT_EQ(r.Code, 11u);
  EXPECT_EQ(r.Errors, std::vector<std::u16string>{kMissingAttachment});
  setenv("VX_TEST_MAPI_RESULT", "2", 1);
  r = vx64::SendMail(Letter(), false);
  EXPECT_EQ(r.Code, 2u);
  ASSERT_EQ(r.Errors.size(), 1u);
  EXPECT_EQ(messages->errors, (std::vector<std::u16string>{kMissingAttachment, r.Errors[0]}));
  // A user abort is no error, but nothing was sent.
  setenv("VX_TEST_MAPI_RESULT", "1", 1);
  r = vx64::SendMail(Letter(), false);
  EXPECT_FALSE(r.Sent);
  EXPECT_EQ(r.Code, 1u);
  EXPECT_TRUE(r.Errors.empty());

  // Without a default client the user is informed and nothing is sent.
  UseClient("Brak", "");
  messages->errors.clear();
  r = vx64::SendMail(Letter(), false);
  EXPECT_FALSE(r.Sent);
  EXPECT_TRUE(r.Errors.empty());
  EXPECT_EQ(messages->infos, std::vector<std::u16string>{u"Brak domyślnego klienta poczty!."});
  EXPECT_TRUE(messages->errors.empty());
}

TEST_F(HostMail, ThroughTheWorkerTheResultCarriesTheWorkersCode) {
  UseClient(kDirect, std::string(VX_TEST_WORKER_LIB_DIR) + "/recording_client.so");
  vx64::MailResult r = vx64::SendMail(Letter(), true, vx64::MailWay::Worker);
  EXPECT_TRUE(r.Sent);
  EXPECT_EQ(r.Code, 0u);
  EXPECT_TRUE(r.Errors.empty());
  EXPECT_NE(Record().find("flags=0x9 "), std::string::npos) << Record();  // with the dialog
  EXPECT_NE(Record().find("recips=4\n"), std::string::npos);

  setenv("VX_TEST_MAPI_RESULT", "2", 1);
  r = vx64::SendMail(Letter(), false, vx64::MailWay::Worker);
  EXPECT_FALSE(r.Sent);
  EXPECT_EQ(r.Code, 2u);
  ASSERT_EQ(r.Errors.size(), 1u);
  EXPECT_NE(vx64::ToUtf8(r.Errors[0]).find("Błąd MAPI (2)"), std::string::npos);
  EXPECT_EQ(messages->errors, r.Errors);
}

}  // namespace
