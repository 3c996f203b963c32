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
  UseRecordingClient(kThread);
  vx::test::WriteFile(dir / "faktura ż.pdf", "%PDF");
  vx::test::DebugLogCapture debug;
  TMapiEmail email;
  email.SetSubject("12:30:00");
  email.SetBody("Zażółć gęślą jaźń");
  email.Recipients().Add(" a@b.pl ", " Ala ");
  email.Attachments().push_back(Utf8ToU((dir / "faktura ż.pdf").string()));
  email.SetParentWnd(platform::HWND{0x180001234});
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

  // The hand-off way of Send: nothing shown, success reported.
  std::filesystem::remove(dir / "record.txt");
  EXPECT_TRUE(email.SendThroughWorker(true));
  EXPECT_THAT(messages->errors, IsEmpty());
  EXPECT_THAT(Record(), HasSubstr("flags=0x9 "));
}

TEST_F(MailWorker, FailuresReachTheHostsUserWithTheirExactTexts) {
  struct Case {
    const char* client;
    const char* library;
    const char* mapiResult;
    bool recipient;
    bool attachment;
    bool dialog;
    bool sent;
    std::vector<std::string> errors;
    bool reachesLibrary;
  };
  const std::string missing11 = "Błąd MAPI (11) \"Załącznik nie został odnaleziony\"";
  const std::string invalid25 = "Błąd MAPI (25) \"Niepoprawni adresaci\"";
  const std::vector<Case> cases = {
      {kDirect, "recording_client.so", nullptr, true, true, false, false, {missing11}, false},
      {kDirect, "recording_client.so", nullptr, false, false, false, false, {invalid25}, false},
      // The thread way used to show these in the worker only.
      {kThread, "recording_client.so", nullptr, true, true, false, false, {missing11}, false},
      {kThread, "recording_client.so", nullptr, false, false, false, false, {invalid25}, false},
      {kThread,
       "recording_client.so",
       "2",
       true,
       false,
       false,
       false,
       {"Błąd MAPI (2) \"Ogólny błąd MAPI. Prawdopodobnie domyślny klient poczty nie obsługuje interfejsu "
        "MAPI.\""},
       true},
      {kDirect,
       "recording_client.so",
       "14",
       true,
       false,
       false,
       false,
       {"Błąd MAPI (14) \"Nieznany adresat\""},
       true},
      // A user abort stays silent but is no success.
      {kThread, "recording_client.so", "1", true, false, false, false, {}, true},
      {kDirect,
       "noreadmail_client.so",
       nullptr,
       true,
       false,
       false,
       false,
       {"Funkcja \"MAPIReadMail\" nie jest dostępna"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.client) + " " + c.library + " " + (c.mapiResult ? c.mapiResult : "-"));
    UseRecordingClient(c.client, c.library);
    std::filesystem::remove(dir / "record.txt");
    messages->errors.clear();
    if (c.mapiResult) setenv("VX_TEST_MAPI_RESULT", c.mapiResult, 1);
    TMapiEmail email;
    if (c.recipient) email.Recipients().Add("a@b.pl");
    if (c.attachment) email.Attachments().push_back(Utf8ToU((dir / "brak.pdf").string()));
    EXPECT_EQ(email.SendThroughWorker(c.dialog), c.sent);
    EXPECT_EQ(messages->errors, c.errors);
    EXPECT_EQ(!Record().empty(), c.reachesLibrary);
    unsetenv("VX_TEST_MAPI_RESULT");
  }

  // With the dialog a message without recipients reaches the library, flagged, for the user.
  UseRecordingClient(kDirect);
  messages->errors.clear();
  std::filesystem::remove(dir / "record.txt");
  TMapiEmail open;
  EXPECT_TRUE(open.SendThroughWorker(true));
  EXPECT_THAT(messages->errors, IsEmpty());
  EXPECT_THAT(Record(), HasSubstr("flags=0x9 reserved=0"));
  EXPECT_THAT(Record(), HasSubstr("recips=0\n"));

  // A library the worker cannot load: the loader's text.
  UseRecordingClient(kDirect, "needsgone_client.so");
  TMapiEmail gone;
  gone.Recipients().Add("a@b.pl");
  messages->errors.clear();
  EXPECT_FALSE(gone.SendThroughWorker(false));
  ASSERT_EQ(messages->errors.size(), 1u);
  EXPECT_THAT(messages->errors[0], HasSubstr("System Error.  Code: "));
  EXPECT_THAT(messages->errors[0], HasSubstr("libvx_test_gone.so"));

  // No default client in the worker (the registry changed after the host filled its object).
  UseRecordingClient(kDirect);
  TMapiEmail late;
  late.Recipients().Add("a@b.pl");
  WriteRegistry("Brak", {});
  messages->errors.clear();
  std::filesystem::remove(dir / "record.txt");
  EXPECT_FALSE(late.SendThroughWorker(false));
  EXPECT_THAT(messages->errors,
              ElementsAre("Nie wysłano poczty: w procesie vx64BWorker brak domyślnego klienta poczty."));
  EXPECT_EQ(Record(), "");
}

TEST_F(MailWorker, DocumentsTheWorkerCannotReadAreAnsweredWithAnError) {
  UseRecordingClient(kDirect);
  const std::string prefix = "Nieprawidłowy tekst poczty (parametr \"Mail\"): ";
  EXPECT_THAT(UToUtf8(Request({}).Error), HasSubstr(prefix));
  EXPECT_THAT(UToUtf8(Request({{u"Mail", u"   "}, {u"ShowDialog", u"1"}}).Error), HasSubstr(prefix));
  EXPECT_EQ(UToUtf8(Request({{u"Mail", u"{\"Subject\":"}}).Error),
            prefix + "Unexpected end of input. (Line: 0 Col: 11)");  // the reader's own text
  EXPECT_THAT(UToUtf8(Request({{u"Mail", u"{\"Recipients\":[{\"Kind\":7}]}"}}).Error),
              HasSubstr("spoza zakresu 0 do 3"));
  EXPECT_THAT(UToUtf8(Request({{u"Mail", u"{\"Recipients\":[null]}"}}).Error),
              HasSubstr("nie jest obiektem adresata"));
  EXPECT_THAT(UToUtf8(Request({{u"Mail", u"{\"HtmlBody\":\"true\"}"}}).Error),
              HasSubstr("\"HtmlBody\" ma wartość niewłaściwego rodzaju"));
  EXPECT_EQ(Record(), "");
  // "ShowDialog" other than exactly "1" means no dialog.
  const UString mail = u"{\"Recipients\":[{\"Address\":\"a@b.pl\",\"Kind\":1}]}";
  EXPECT_EQ(Request({{u"Mail", mail}, {u"ShowDialog", u"true"}}).Error, u"");
  EXPECT_THAT(Record(), HasSubstr("flags=0x1 "));
}

TEST_F(MailWorker, AfterAMailRequestTheWorkerStaysBusy) {
  UseRecordingClient(kDirect);
  RegisterMailJob();
  // The host's side of the validation job: its answer would be stored here.
  RegisterJobBranch({u"CMD_RUN_XML_VALIDATION",
                     u"CMD_GET_XML_VALIDATION_RESULT",
                     {},
                     [](Tvx64BWorkerCom& c, const TStringList& p) {
                       c.FXMLValidatonResult = p.Value(u"CMD_GET_XML_VALIDATION_RESULT");
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
  EXPECT_EQ(com.FXMLValidatonResult, u"");  // dropped: no answer
  com.Close64BWorker();
}

TEST_F(MailWorker, AWorkerThatGivesNoAnswerIsAFailure) {
  UseRecordingClient(kDirect);
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
