// What reaches MAPISendMail of a recording client library for each kind of message, on the
// direct way (a client named like "Outlook") and on the send thread (any other client).
#include "mail/mapi_email.h"

#include <gmock/gmock.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "mail_fixture.h"
#include "platform/window.h"

namespace vx::mail::test {
namespace {

constexpr const char* kDirect = "Microsoft Outlook";  // sent on the calling thread
constexpr const char* kThread = "Poczta";             // sent on the send thread

using MapiEmail = MailFixture;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(MapiEmail, FieldRulesOfTheObject) {
  UseRecordingClient(kThread);
  TMapiEmail mail;
  mail.SetBody("a");
  EXPECT_EQ(mail.Body(), "a\r\n");
  mail.SetBody("b\r\n");
  EXPECT_EQ(mail.Body(), "b\r\n");
  mail.SetBody("c\n");
  EXPECT_EQ(mail.Body(), "c\n\r\n");
  mail.SetBody("");
  EXPECT_EQ(mail.Body(), "");
  mail.SetBodyTxt("t");
  EXPECT_EQ(mail.BodyTxt(), "t\r\n");
  EXPECT_EQ(mail.Recipients().Add(" \t a@b.pl\r\n\x01", "A"), 0);
  EXPECT_EQ(mail.Recipients().Items(0).FAddress, "a@b.pl");
  EXPECT_EQ(mail.Recipients().FAddressesType, "SMTP");
  EXPECT_THROW((void)mail.Recipients().Items(1), EMapiError);
  EXPECT_EQ(mail.LogonOptionsToFlags(false), 0x1u);
  EXPECT_EQ(mail.LogonOptionsToFlags(true), 0x9u);
  EXPECT_EQ(mail.ParentWnd(), 0);
  mail.SetParentWnd(1234);
  EXPECT_EQ(mail.ParentWnd(), 1234);
  EXPECT_FALSE(mail.DirectHtml());
}

TEST_F(MapiEmail, HtmlBodyGoesAsTheFirstAttachmentWithTheTextBodyOnlyBesideOthers) {
  UseRecordingClient(kDirect);
  vx::test::WriteFile(dir / "a.pdf", "A");
  vx::test::WriteFile(dir / "b.txt", "B");
  TMapiEmail mail;
  mail.SetSubject("Faktura");
  mail.SetHtmlBody(true);
  mail.SetBody("<p>Zażółć</p>");
  mail.SetBodyTxt("Zażółć");
  mail.Recipients().Add("a@b.pl", "Ala");
  ASSERT_TRUE(mail.Send(false));
  const std::string html = (dir / "Tresc.htm").string();
  std::string head = "session=0 ui=0 flags=0x1 reserved=0 main_thread=1 pointer_bits=";
  head += std::to_string(sizeof(void*) * 8);
  EXPECT_EQ(Record(), head +
                          "\n"
                          "subject=\"Faktura\"\n"
                          "note=\"\"\n"
                          "originator=(null) type=(null) date=(null) conversation=(null) msgflags=0\n"
                          "recips=1\n"
                          "recip class=1 eid=0 name=\"Ala\"\n"
                          "  address=\"SMTP:a@b.pl\"\n"
                          "files=1\n"
                          "file pos=0xffffffff flags=0 type=(null) path=\"" +
                          html +
                          "\"\n"
                          "  name=(null)\n"
                          "end\n");
  EXPECT_EQ(vx::test::ReadFile(dir / "Tresc.htm"), "<p>Zażółć</p>\r\n");
  EXPECT_TRUE(mail.Attachments().empty());  // the body file's entry is gone again

  std::filesystem::remove(dir / "record.txt");
  mail.Attachments() = {Utf8ToU((dir / "a.pdf").string()), Utf8ToU((dir / "b.txt").string())};
  ASSERT_TRUE(mail.Send(true));
  const std::string r = Record();
  EXPECT_NE(r.find("flags=0x9 "), std::string::npos);
  EXPECT_NE(r.find("note=\"Zażółć\\r\\n\"\n"), std::string::npos) << r;
  EXPECT_NE(r.find("files=3\nfile pos=0xffffffff flags=0 type=(null) path=\"" + html +
                   "\"\n  name=(null)\n"
                   "file pos=0xffffffff flags=0 type=(null) path=\"" +
                   (dir / "a.pdf").string() + "\""),
            std::string::npos)
      << r;
  EXPECT_EQ(mail.Attachments().size(), 2u);
}

TEST_F(MapiEmail, DirectHtmlIsTheNoteTextAndWritesNoFile) {
  UseRecordingClient("Mozilla Thunderbird");
  TMapiEmail mail;
  EXPECT_TRUE(mail.DirectHtml());
  mail.SetHtmlBody(true);
  mail.SetBody("<b>x</b>");
  mail.Recipients().Add("a@b.pl");
  ASSERT_TRUE(mail.Send(false));
  const std::string r = Record();
  EXPECT_NE(r.find("note=\"<b>x</b>\\r\\n\"\n"), std::string::npos) << r;
  EXPECT_NE(r.find("files=0\n"), std::string::npos);
  EXPECT_NE(r.find("main_thread=0"), std::string::npos);  // not an "Outlook": the send thread
  EXPECT_FALSE(std::filesystem::exists(dir / "Tresc.htm"));
}

TEST_F(MapiEmail, AddressTypesClassesAndOriginator) {
  UseRecordingClient(kThread);
  TMapiEmail mail;
  mail.Recipients().Add("own@x.pl", "", TMailRecipKind::rkTO, "X400");
  mail.Recipients().Add("list@x.pl", "Lista", TMailRecipKind::rkCC);
  mail.Recipients().Add("me@x.pl", "Ja", TMailRecipKind::rkOriginator);
  mail.Recipients().Add("hidden@x.pl", "", TMailRecipKind::rkBCC);
  ASSERT_TRUE(mail.Send(false));
  EXPECT_NE(Record().find("originator=(null) type=(null) date=(null) conversation=(null) msgflags=0\n"
                          "recips=4\n"
                          "recip class=1 eid=0 name=\"own@x.pl\"\n  address=\"X400:own@x.pl\"\n"
                          "recip class=2 eid=0 name=\"Lista\"\n  address=\"SMTP:list@x.pl\"\n"
                          "recip class=0 eid=0 name=\"Ja\"\n  address=\"SMTP:me@x.pl\"\n"
                          "recip class=3 eid=0 name=\"hidden@x.pl\"\n  address=\"SMTP:hidden@x.pl\"\n"),
            std::string::npos)
      << Record();
  // Without a list-wide type the bare address goes; an "Outlook" client gives each recipient
  // without a type of its own "SMTP", and the recipient keeps it.
  std::filesystem::remove(dir / "record.txt");
  mail.Recipients().FAddressesType = "";
  ASSERT_TRUE(mail.Send(false));
  EXPECT_NE(Record().find("name=\"Lista\"\n  address=\"list@x.pl\"\n"), std::string::npos) << Record();
  EXPECT_EQ(mail.Recipients().Items(1).FAddressType, "");

  UseRecordingClient(kDirect);
  TMapiEmail outlook;
  outlook.Recipients().FAddressesType = "";
  outlook.Recipients().Add("a@x.pl");
  std::filesystem::remove(dir / "record.txt");
  ASSERT_TRUE(outlook.Send(false));
  EXPECT_NE(Record().find("address=\"SMTP:a@x.pl\""), std::string::npos);
  EXPECT_EQ(outlook.Recipients().Items(0).FAddressType, "SMTP");
}

TEST_F(MapiEmail, RecipientsRequiredWithoutTheDialog) {
  UseRecordingClient(kDirect);
  TMapiEmail mail;
  ASSERT_TRUE(mail.Send(true));
  EXPECT_NE(Record().find("recips=0\n"), std::string::npos);
  std::filesystem::remove(dir / "record.txt");
  try {
    (void)mail.Send(false);
    FAIL() << "no error";
  } catch (const EMapiError& e) {
    EXPECT_STREQ(e.what(), "Błąd MAPI (25) \"Niepoprawni adresaci\"");
    EXPECT_EQ(e.ErrorCode, 25u);
  }
  mail.Recipients().Add(" ", "");  // neither name nor address
  EXPECT_THROW((void)mail.Send(true), EMapiError);
  EXPECT_EQ(Record(), "");  // nothing reached the library

  // On the send thread the same failure is reported on the calling thread and Send is false.
  UseRecordingClient(kThread);
  TMapiEmail threaded;
  EXPECT_FALSE(threaded.Send(false));
  EXPECT_EQ(messages->errors, (std::vector<std::string>{"Błąd MAPI (25) \"Niepoprawni adresaci\""}));
}

TEST_F(MapiEmail, AttachmentsBecomeAbsoluteAndMissingOnesStopTheSend) {
  UseRecordingClient(kDirect);
  std::filesystem::create_directories(dir / "sub");
  vx::test::WriteFile(dir / "sub/zał.txt", "x");
  std::filesystem::create_symlink(dir / "sub/zał.txt", dir / "link.txt");
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir / "sub");
  TMapiEmail mail;
  mail.Recipients().Add("a@b.pl");
  mail.Attachments() = {u"zał.txt", u"../link.txt"};
  const bool sent = mail.Send(false);
  std::filesystem::current_path(cwd);
  ASSERT_TRUE(sent);
  const std::string absolute = (dir / "sub/zał.txt").string();
  EXPECT_NE(Record().find("path=\"" + absolute + "\""), std::string::npos) << Record();
  EXPECT_NE(Record().find("path=\"" + (dir / "link.txt").string() + "\""), std::string::npos) << Record();
  EXPECT_EQ(UToUtf8(mail.Attachments()[0]), absolute);

  std::filesystem::remove(dir / "record.txt");
  mail.SetHtmlBody(true);
  mail.SetBody("<p/>");
  mail.Attachments().push_back(Utf8ToU((dir / "gone.pdf").string()));
  try {
    (void)mail.Send(false);
    FAIL() << "no error";
  } catch (const EMapiError& e) {
    EXPECT_STREQ(e.what(), "Błąd MAPI (11) \"Załącznik nie został odnaleziony\"");
  }
  EXPECT_EQ(mail.Attachments().size(), 3u);  // the body file's entry removed again
  EXPECT_EQ(Record(), "");
}

TEST_F(MapiEmail, LibraryCodesFailureReportedAndUserAbortSilent) {
  UseRecordingClient(kDirect);
  TMapiEmail mail;
  mail.Recipients().Add("a@b.pl");
  setenv("VX_TEST_MAPI_RESULT", "2", 1);
  EXPECT_TRUE(mail.Send(false));
  EXPECT_EQ(messages->errors,
            (std::vector<std::string>{"Błąd MAPI (2) \"Ogólny błąd MAPI. Prawdopodobnie "
                                      "domyślny klient poczty nie obsługuje interfejsu MAPI.\""}));
  setenv("VX_TEST_MAPI_RESULT", "1", 1);
  EXPECT_FALSE(mail.Send(false));
  EXPECT_EQ(messages->errors.size(), 1u);
  // The same on the send thread: the report is made there, Send true.
  UseRecordingClient(kThread);
  setenv("VX_TEST_MAPI_RESULT", "14", 1);
  TMapiEmail threaded;
  threaded.Recipients().Add("a@b.pl");
  EXPECT_TRUE(threaded.Send(false));
  EXPECT_EQ(messages->errors.back(), "Błąd MAPI (14) \"Nieznany adresat\"");
}

std::atomic<int> g_answered{0};
std::intptr_t AnsweringProc(platform::WindowHandle h, std::uint32_t msg, std::uintptr_t w, std::intptr_t l) {
  if (msg == platform::kMsgUser + 7) {
    ++g_answered;
    return 42;
  }
  return platform::DefaultWindowProcedure(h, msg, w, l);
}

TEST_F(MapiEmail, SendThreadWaitsASecondThenPollsWhileTheCallingThreadAnswersMessages) {
  UseRecordingClient(kThread);
  platform::RegisterWindowClass(u"MailTestWindow", &AnsweringProc);
  const platform::WindowHandle window = platform::CreateMessageWindow(u"MailTestWindow");
  ASSERT_NE(window, 0);
  g_answered = 0;
  TMapiEmail mail;
  mail.Recipients().Add("a@b.pl");

  // A send that ends at once still takes the fixed second.
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(mail.Send(false));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));

  // A longer send: a message sent to the calling thread's window is answered while the library
  // call still runs (the call waits until the sender has its answer), and the send returns when
  // the call has ended.
  const auto gate = dir / "gate";
  setenv("VX_TEST_MAPI_GATE", gate.c_str(), 1);
  std::filesystem::remove(dir / "record.txt");
  std::atomic<std::intptr_t> reply{0};
  std::thread sender([&] {
    reply = platform::SendWindowMessage(window, platform::kMsgUser + 7, 0, 0);
    vx::test::WriteFile(gate, "");
  });
  const bool sent = mail.Send(false);
  const std::intptr_t answer = reply.load();
  if (answer != 42) platform::DestroyMessageWindow(window);  // a send that never answered: end its wait
  sender.join();
  unsetenv("VX_TEST_MAPI_GATE");
  EXPECT_TRUE(sent);
  EXPECT_EQ(answer, 42);
  EXPECT_EQ(g_answered.load(), 1);
  EXPECT_THAT(Record(), ::testing::StartsWith("gate=open\n"));
  EXPECT_NE(Record().find("main_thread=0"), std::string::npos);
  platform::DestroyMessageWindow(window);
}

TEST_F(MapiEmail, LibraryOfAnotherArchitectureIsHandedToTheWorkerWhichDoesNotHandItOn) {
  UseRecordingClient(kDirect, kForeignClient);
  TMapiEmail mail;
  mail.Recipients().Add("a@b.pl");
  EXPECT_EQ(mail.Send(false), kHost32);
  EXPECT_FALSE(mail.ValidDllTarget());
  if constexpr (kHost32) {
    // The 32-bit host's case: the 64-bit worker loads the 64-bit library and sends.
    EXPECT_THAT(messages->errors, IsEmpty());
    EXPECT_NE(Record().find("recips=1\n"), std::string::npos) << Record();
  } else {
    // The worker cannot load it either, and says so instead of starting a further worker.
    EXPECT_THAT(messages->errors, ElementsAre("Biblioteki klienta poczty \"" + TestLib(kForeignClient) +
                                              "\" nie można załadować w procesie vx64BWorker."));
    EXPECT_EQ(Record(), "");
  }
}

TEST_F(MapiEmail, NoClientAtAll) {
  // A default client whose library exports nothing: selected, but not a client.
  WriteRegistry("A", {{"A", "A", TestLib("noreadmail_client.so")}});
  TMapiEmail mail;
  mail.Recipients().Add("a@b.pl");
  EXPECT_FALSE(mail.AnyClientInstalled());
  try {
    (void)mail.InternalSendOrSave(false, false);
    FAIL() << "no error";
  } catch (const EMapiError& e) {
    EXPECT_STREQ(e.what(), "W systemie nie ma klienta poczty kompatybilnego z interfejsem Simple MAPI");
  }
}

}  // namespace
}  // namespace vx::mail::test
