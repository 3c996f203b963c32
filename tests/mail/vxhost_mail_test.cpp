// `vxhost mail` as a user runs it: exit codes and what reaches the client library.
#include <sys/wait.h>

#include <cstdlib>

#include "mail_fixture.h"
#include "support/child.h"

namespace vx::mail::test {
namespace {

class VxhostMail : public MailFixture {
 protected:
  // Runs vxhost with the fixture's environment; standard error lands in `err`.
  int Run(const std::string& args) {
    const std::string cmd = "LC_ALL=C.UTF-8 " + vx::test::BinPath("vxhost") + " mail " + args + " >" +
                            (dir / "out").string() + " 2>" + (dir / "err").string();
    const int status = std::system(cmd.c_str());
    out = vx::test::ReadFile(dir / "out");
    err = vx::test::ReadFile(dir / "err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string out;
  std::string err;
};

TEST_F(VxhostMail, SendsTheMessageAndExitsByTheOutcome) {
  UseRecordingClient("Microsoft Outlook");
  vx::test::WriteFile(dir / "body.txt", "Treść z pliku");
  vx::test::WriteFile(dir / "a.pdf", "%PDF");
  EXPECT_EQ(Run("--to a@b.pl --cc c@d.pl --bcc e@f.pl --from ja@x.pl --subject 'Zażółć' --body-file " +
                (dir / "body.txt").string() + " --attach " + (dir / "a.pdf").string()),
            0)
      << err;
  const std::string r = Record();
  EXPECT_NE(r.find("subject=\"Zażółć\"\nnote=\"Treść z pliku\\r\\n\""), std::string::npos) << r;
  EXPECT_NE(r.find("recips=4\n"), std::string::npos);
  EXPECT_NE(r.find("recip class=0 eid=0 name=\"ja@x.pl\""), std::string::npos);
  EXPECT_NE(r.find("recip class=3 eid=0 name=\"e@f.pl\""), std::string::npos);
  EXPECT_NE(r.find("files=1\n"), std::string::npos);

  // HTML with a text alternative and the dialog.
  std::filesystem::remove(dir / "record.txt");
  EXPECT_EQ(Run("--dialog --html --body '<p>x</p>' --text-body x --attach " + (dir / "a.pdf").string()), 0)
      << err;
  EXPECT_NE(Record().find("flags=0x9 "), std::string::npos);
  EXPECT_NE(Record().find("note=\"x\\r\\n\""), std::string::npos) << Record();

  // A code the layer reports and counts as done is a failure of the command.
  setenv("VX_TEST_MAPI_RESULT", "2", 1);
  EXPECT_EQ(Run("--to a@b.pl"), 1);
  EXPECT_NE(err.find("Błąd: Błąd MAPI (2) \"Ogólny błąd MAPI."), std::string::npos) << err;
  setenv("VX_TEST_MAPI_RESULT", "1", 1);
  EXPECT_EQ(Run("--to a@b.pl"), 1);  // cancelled by the user: not sent
  unsetenv("VX_TEST_MAPI_RESULT");
  EXPECT_EQ(Run("--to a@b.pl --attach " + (dir / "brak.pdf").string()), 1);
  EXPECT_NE(err.find("Błąd MAPI (11) \"Załącznik nie został odnaleziony\""), std::string::npos) << err;
}

TEST_F(VxhostMail, UsageErrorsAndAMissingDefaultClient) {
  UseRecordingClient("Poczta");
  EXPECT_EQ(Run("--to"), 2);
  EXPECT_EQ(Run("--bogus"), 2);
  EXPECT_EQ(Run("--body a --body-file b"), 2);
  EXPECT_EQ(Record(), "");
  WriteRegistry("Brak", {});
  EXPECT_EQ(Run("--to a@b.pl"), 1);
  EXPECT_NE(err.find("Brak domyślnego klienta poczty!."), std::string::npos) << err;
}

TEST_F(VxhostMail, DryRunPrintsTheDocumentAndWorkerHandsTheMessageOn) {
  UseRecordingClient("Poczta");
  EXPECT_EQ(Run("--dry-run --to ' a@b.pl ' --subject 12:30:00 --body 'Zażółć'"), 0) << err;
  EXPECT_EQ(out,
            "{\"Attachments\":null,\"Body\":\"Za\\u017c\\u00f3\\u0142\\u0107\\r\\n\",\"BodyTxt\":\"\","
            "\"HtmlBody\":false,\"ParentWnd\":0,\"Recipients\":[{\"AddressType\":\"\",\"Address\":\"a@b.pl\","
            "\"Kind\":1,\"Name\":\"\"}],\"RecipientsAddressType\":\"SMTP\",\"RecipientsOriginator\":null,"
            "\"Subject\":\"12:30:00\",\"DirectHtml\":false}\n");
  EXPECT_EQ(Record(), "");  // nothing sent

  // In this process the subject stays as written; through the worker's JSON reader it became a time.
  EXPECT_EQ(Run("--to a@b.pl --subject 12:30:00"), 0) << err;
  EXPECT_NE(Record().find("subject=\"12:30:00\"\n"), std::string::npos) << Record();
  std::filesystem::remove(dir / "record.txt");
  UseWorkerClient("Poczta");
  EXPECT_EQ(Run("--worker --to a@b.pl --subject 12:30:00 --body 'Zażółć'"), 0) << err;
  EXPECT_NE(Record().find("subject=\"12:30:00.000\"\nnote=\"Zażółć\\r\\n\""), std::string::npos) << Record();
  EXPECT_EQ(Run("--worker --dry-run --to a@b.pl"), 2);

  // Send hands a library of another architecture to the worker by itself: the 64-bit worker sends
  // through a 64-bit one (the 32-bit host's case) and refuses a 32-bit one.
  UseRecordingClient("Poczta", kForeignClient);
  std::filesystem::remove(dir / "record.txt");
  if constexpr (kHost32) {
    EXPECT_EQ(Run("--to a@b.pl"), 0) << err;
    EXPECT_NE(Record().find("recips=1\n"), std::string::npos) << Record();
  } else {
    EXPECT_EQ(Run("--to a@b.pl"), 1);
    EXPECT_NE(err.find("Błąd: Biblioteki klienta poczty \"" + TestLib(kForeignClient) +
                       "\" nie można załadować w procesie vx64BWorker."),
              std::string::npos)
        << err;
    EXPECT_EQ(Record(), "");
  }
}

}  // namespace
}  // namespace vx::mail::test
