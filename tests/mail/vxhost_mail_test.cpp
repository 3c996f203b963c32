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
    const std::string cmd =
        "LC_ALL=C.UTF-8 " + vx::test::BinPath("vxhost") + " mail " + args + " 2>" + (dir / "err").string();
    const int status = std::system(cmd.c_str());
    err = vx::test::ReadFile(dir / "err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
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

}  // namespace
}  // namespace vx::mail::test
