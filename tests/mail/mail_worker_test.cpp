// Mail through real worker processes: host -> vx64BWorker -> the recording client library, the
// failure texts that reach the host's user, documents the worker refuses, the busy worker after a
// mail request and a worker that never answers.
#include <sys/stat.h>

#include <gmock/gmock.h>

#include "mail/mail_job.h"
#include "mail_fixture.h"
#include "support/debug_log.h"

namespace vx::mail::test {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kDirect = "Microsoft Outlook";  // sent on the worker's main thread
constexpr const char* kThread = "Poczta";             // sent on the worker's send thread

class MailWorker : public MailFixture {
 protected:
  void SetUp() override {
    MailFixture::SetUp();
    unsetenv("VX64_WORKER");         // the real worker beside the tests
    setenv("LC_ALL", "C.UTF-8", 1);  // the worker's code set is the host's
  }
  void TearDown() override {
    unsetenv("VX64_WORKER");
    unsetenv("LC_ALL");
    MailFixture::TearDown();
  }

  // Sends through the worker and answers what the host showed.
  std::vector<std::string> HandOff(TMapiEmail& email, bool dialog = false, bool sent = false) {
    messages->errors.clear();
    std::filesystem::remove(dir / "record.txt");
    EXPECT_EQ(email.SendThroughWorker(dialog), sent);
    return messages->errors;
  }
  // One request with these parameters, as the host's job pattern sends it.
  TVX64WorkerMailResult Request(const std::vector<std::pair<UString, UString>>& params) {
    RegisterMailJob();
    TMailWorkerCom com;
    TStringList list;
    for (const auto& [name, value] : params) list.SetValue(name, value);
    EXPECT_TRUE(com.RunJob(kMailRequest, list));
    EXPECT_TRUE(com.FMAPISendMailAnswered);
    return com.FMAPISendMailResult;
  }
};

TEST_F(MailWorker, SentThroughTheWorkerArrivesAsTheHostFilledIt) {
  UseWorkerClient(kThread);
  vx::test::WriteFile(dir / "faktura ż.pdf", "%PDF");
  vx::test::DebugLogCapture debug;
  TMapiEmail email;
  email.SetSubject("12:30:00");
  email.SetBody("Zażółć gęślą jaźń");
  email.Recipients().Add(" a@b.pl ", " Ala ");
  email.Attachments().push_back(Utf8ToU((dir / "faktura ż.pdf").string()));
  email.SetParentWnd(platform::WindowHandle{0x180001234});
  TMailWorkerCom com;
  const TVX64WorkerMailResult result = SendMAPISendMail(com, email, false);
  EXPECT_EQ(result.Error, u"");
  EXPECT_EQ(result.Result, 0u);
  EXPECT_EQ(com.Status(), kStatusReady);
  EXPECT_TRUE(debug.Contains("{\"\"Result\"\":0,\"\"Error\"\":\"\"\"\"}")) << "the answer's compact text";
  EXPECT_TRUE(debug.Contains("ShowDialog=0"));
  EXPECT_EQ(Record(),
            "session=0 ui=18446744071562072628 flags=0x1 reserved=0 main_thread=0 pointer_bits=64\n"
            "subject=\"12:30:00.000\"\n"
            "note=\"Zażółć gęślą jaźń\\r\\n\"\n"
            "originator=(null) type=(null) date=(null) conversation=(null) msgflags=0\n"
            "recips=1\n"
            "recip class=1 eid=0 name=\" Ala \"\n"
            "  address=\"SMTP:a@b.pl\"\n"
            "files=1\n"
            "file pos=0xffffffff flags=0 type=(null) path=\"" +
                (dir / "faktura ż.pdf").string() + "\"\n  name=(null)\nend\n");
  EXPECT_THAT(HandOff(email, false, true), IsEmpty());  // the hand-off way of Send shows nothing
}

TEST_F(MailWorker, FailuresReachTheHostsUserWithTheirExactTexts) {
  for (const char* client : {kDirect, kThread}) {  // the thread way showed these in the worker only
    SCOPED_TRACE(client);
    UseWorkerClient(client);
    TMapiEmail attached;
    attached.Recipients().Add("a@b.pl");
    attached.Attachments().push_back(Utf8ToU((dir / "brak.pdf").string()));
    EXPECT_THAT(HandOff(attached), ElementsAre("Błąd MAPI (11) \"Załącznik nie został odnaleziony\""));
    TMapiEmail nobody;
    EXPECT_THAT(HandOff(nobody), ElementsAre("Błąd MAPI (25) \"Niepoprawni adresaci\""));
    EXPECT_EQ(Record(), "");
    // With the dialog the message goes to the library without recipients, for the user to add.
    EXPECT_THAT(HandOff(nobody, true, true), IsEmpty());
    EXPECT_THAT(Record(), HasSubstr("flags=0x9 reserved=0"));
    EXPECT_THAT(Record(), HasSubstr("recips=0\n"));
  }
  // A code of the library is shown once, by the host; a user abort is silent but no success.
  TMapiEmail one;
  one.Recipients().Add("a@b.pl");
  setenv("VX_TEST_MAPI_RESULT", "2", 1);
  EXPECT_THAT(HandOff(one), ElementsAre("Błąd MAPI (2) \"Ogólny błąd MAPI. Prawdopodobnie domyślny klient "
                                        "poczty nie obsługuje interfejsu MAPI.\""));
  setenv("VX_TEST_MAPI_RESULT", "1", 1);
  EXPECT_THAT(HandOff(one), IsEmpty());
  EXPECT_NE(Record(), "");
  unsetenv("VX_TEST_MAPI_RESULT");
  // Libraries the worker cannot use, and no default client there (the registry changed after the
  // host filled its object).
  UseWorkerClient(kDirect, "noreadmail_client.so");
  EXPECT_THAT(HandOff(one), ElementsAre("Funkcja \"MAPIReadMail\" nie jest dostępna"));
  UseWorkerClient(kDirect, "needsgone_client.so");
  EXPECT_THAT(HandOff(one),
              ElementsAre(AllOf(HasSubstr("System Error.  Code: "), HasSubstr("libvx_test_gone.so"))));
  WriteRegistry("Brak", {});
  EXPECT_THAT(HandOff(one),
              ElementsAre("Nie wysłano poczty: w procesie vx64BWorker brak domyślnego klienta poczty."));
}

TEST_F(MailWorker, DocumentsTheWorkerCannotReadAreAnsweredWithAnError) {
  UseWorkerClient(kDirect);
  const std::string prefix = "Nieprawidłowy tekst poczty (parametr \"Mail\"): ";
  EXPECT_THAT(UToUtf8(Request({}).Error), HasSubstr(prefix));
  EXPECT_EQ(UToUtf8(Request({{u"Mail", u"{\"Subject\":"}}).Error),
            prefix + "Unexpected end of input. (Line: 0 Col: 11)");  // the reader's own text
  EXPECT_THAT(UToUtf8(Request({{u"Mail", u"{\"Recipients\":[{\"Kind\":7}]}"}}).Error),
              HasSubstr("spoza zakresu 0 do 3"));
  EXPECT_EQ(Record(), "");
  // "ShowDialog" other than exactly "1" means no dialog.
  const UString mail = u"{\"Recipients\":[{\"Address\":\"a@b.pl\",\"Kind\":1}]}";
  EXPECT_EQ(Request({{u"Mail", mail}, {u"ShowDialog", u"true"}}).Error, u"");
  EXPECT_THAT(Record(), HasSubstr("flags=0x1 "));
}

TEST_F(MailWorker, AfterAMailRequestTheWorkerStaysBusy) {
  UseWorkerClient(kDirect);
  RegisterMailJob();
  // The host's side of the validation job: its answer would be stored here.
  auto validationAnswer = std::make_shared<UString>();  // the branch stays registered
  RegisterJobBranch({u"CMD_RUN_XML_VALIDATION",
                     u"CMD_GET_XML_VALIDATION_RESULT",
                     {},
                     [validationAnswer](Tvx64BWorkerCom&, const TStringList& p) {
                       *validationAnswer = p.Value(u"CMD_GET_XML_VALIDATION_RESULT");
                       return true;
                     },
                     {}});
  vx::test::WriteFile(dir / "a.xml", "<a/>");
  TMailWorkerCom com;
  com.Start64BWorker();
  ASSERT_TRUE(com.WaitForClient());
  TStringList mail;
  mail.SetValue(u"Mail", u"{\"Recipients\":[{\"Address\":\"a@b.pl\",\"Kind\":1}]}");
  ASSERT_TRUE(com.SendCommand(kMailRequest, &mail));
  EXPECT_TRUE(com.FMAPISendMailAnswered);
  TStringList none;
  ASSERT_TRUE(com.SendCommand(u"CMD_GET_STATUS", &none));
  EXPECT_EQ(com.ClientStatus(), kStatusExecuting);
  TStringList validation;
  validation.SetValue(u"XMLFILE", Utf8ToU((dir / "a.xml").string()));
  (void)com.SendCommand(u"CMD_RUN_XML_VALIDATION", &validation);
  EXPECT_EQ(*validationAnswer, u"");  // dropped: no answer
  com.Close64BWorker();
}

TEST_F(MailWorker, AWorkerThatGivesNoAnswerIsAFailure) {
  UseWorkerClient(kDirect);
  const auto script = dir / "dies";
  vx::test::WriteFile(script, "#!/bin/sh\nexit 0\n");
  chmod(script.c_str(), 0755);
  setenv("VX64_WORKER", script.c_str(), 1);
  TMapiEmail email;
  email.Recipients().Add("a@b.pl");
  EXPECT_FALSE(email.SendThroughWorker(false));
  EXPECT_THAT(messages->errors, ElementsAre("Wysyłanie poczty: brak odpowiedzi procesu vx64BWorker."));

  setenv("VX64_WORKER", (dir / "nie ma").c_str(), 1);
  messages->errors.clear();
  EXPECT_FALSE(email.SendThroughWorker(false));
  EXPECT_THAT(messages->errors, ElementsAre("Wysyłanie poczty: brak odpowiedzi procesu vx64BWorker."));
}

}  // namespace
}  // namespace vx::mail::test
