// The mail records' JSON documents byte for byte, their round trips through the e-mail object,
// and the documents a worker refuses.
#include "mail/mail_records.h"

#include <gmock/gmock.h>

#include "json/model/errors.h"
#include "mail_fixture.h"

namespace vx::mail::test {
namespace {

using ::testing::HasSubstr;

class MailRecords : public MailFixture {
 protected:
  void SetUp() override {
    MailFixture::SetUp();
    UseRecordingClient("Poczta");  // neither the HTML-taking kind nor the direct one
  }
  // The message a refused document raises.
  static std::string Refusal(const std::u16string& text) {
    try {
      (void)TVX64Mail::FromJSON(text);
    } catch (const EMailDocumentError& e) {
      return e.what();
    }
    return "(accepted)";
  }
};

TEST_F(MailRecords, TheExactDocuments) {
  TMapiEmail empty;
  EXPECT_EQ(TVX64Mail::FromEmail(empty)->AsJSON(false, false),
            u"{\"Attachments\":null,\"Body\":\"\",\"BodyTxt\":\"\",\"HtmlBody\":false,\"ParentWnd\":0,"
            u"\"Recipients\":null,\"RecipientsAddressType\":\"SMTP\",\"RecipientsOriginator\":null,"
            u"\"Subject\":\"\",\"DirectHtml\":false}");
  TVX64Recipient to;
  to.Kind = TMailRecipKind::rkTO;
  EXPECT_EQ(to.AsJSON(), u"{\"AddressType\":\"\",\"Address\":\"\",\"Kind\":1,\"Name\":\"\"}");
  EXPECT_EQ(TVX64WorkerMailResultJSON::AsJSON({}), u"{\"Result\":0,\"Error\":\"\"}");
  EXPECT_EQ(TVX64WorkerMailResultJSON::AsJSONObject({7, u"b\u0142\u0105d"})->AsJSON(),
            u"{\"Result\":7,\"Error\":\"b\\u0142\\u0105d\"}");
}

TEST_F(MailRecords, RoundTripThroughTheDocumentAndTheEmailObject) {
  TMapiEmail email;
  email.Attachments() = {u"/tmp/a b.pdf", u"faktura \u017c.xml"};
  email.SetSubject("Zażółć gęślą jaźń");
  email.SetHtmlBody(true);
  email.SetBody("<p>Treść</p>");
  email.SetBodyTxt("Treść");
  email.Recipients().Add("  a@b.pl\t", " Ala  Kot ", TMailRecipKind::rkTO);
  email.Recipients().Add("c@d.pl", "", TMailRecipKind::rkCC, "X400");
  email.Recipients().Add("e@f.pl", "E", TMailRecipKind::rkBCC);
  email.Recipients().FAddressesType = "";
  email.SetDirectHtml(true);
  // A handle whose low 32 bits have the top bit set travels as a negative number.
  email.SetParentWnd(platform::WindowHandle{0x180001234});

  const UString text = TVX64Mail::FromEmail(email)->AsJSON(false, false);
  EXPECT_THAT(UToUtf8(text), HasSubstr("\"ParentWnd\":-2147478988,"));
  EXPECT_THAT(UToUtf8(text),
              HasSubstr("{\"AddressType\":\"X400\",\"Address\":\"c@d.pl\",\"Kind\":2,\"Name\":\"\"}"));
  EXPECT_THAT(UToUtf8(text), HasSubstr("\"Subject\":\"Za\\u017c\\u00f3\\u0142\\u0107 g\\u0119"));
  EXPECT_THAT(UToUtf8(text), HasSubstr("\"RecipientsOriginator\":null"));

  const std::unique_ptr<TVX64Mail> mail = TVX64Mail::FromJSON(text);
  EXPECT_EQ(mail->AsJSON(false, false), text);
  const std::unique_ptr<TMapiEmail> back = mail->CreateMapiEmail();
  EXPECT_EQ(back->Attachments(), email.Attachments());
  EXPECT_EQ(back->Subject(), "Zażółć gęślą jaźń");
  EXPECT_EQ(back->Body(), "<p>Treść</p>\r\n");  // already ended with CR LF: not extended
  EXPECT_EQ(back->BodyTxt(), "Treść\r\n");
  EXPECT_TRUE(back->HtmlBody());
  EXPECT_TRUE(back->DirectHtml());  // copied over what the client type gives
  EXPECT_EQ(back->ParentWnd(), platform::WindowHandle{-2147478988});  // sign-extended
  EXPECT_EQ(back->Recipients().FAddressesType, "");                   // replaces "SMTP", empty included
  ASSERT_EQ(back->Recipients().Count(), 3);
  EXPECT_EQ(back->Recipients().Items(0).FAddress, "a@b.pl");
  EXPECT_EQ(back->Recipients().Items(0).FName, " Ala  Kot ");
  EXPECT_EQ(back->Recipients().Items(1).FAddressType, "X400");
  EXPECT_EQ(back->Recipients().Items(2).FKind, TMailRecipKind::rkBCC);
}

TEST_F(MailRecords, ReadingRulesOfTheMailDocument) {
  // An empty list comes back empty; an explicit parent of 0 stays explicit; a body without CR LF
  // gains one, an empty one stays empty; names match without regard to ASCII case.
  const auto mail = TVX64Mail::FromJSON(
      u"{\"attachments\":null,\"RECIPIENTS\":[{\"Address\":\" x@y.pl \",\"Name\":\" X \",\"Kind\":3}],"
      u"\"Body\":\"a\",\"BodyTxt\":\"\",\"Unknown\":[1],\"subject\":\"12:30:00\",\"ParentWnd\":0}");
  EXPECT_TRUE(mail->Attachments.empty());
  EXPECT_EQ(mail->Subject, "12:30:00.000");  // the reader took it for a time
  const auto email = mail->CreateMapiEmail();
  EXPECT_EQ(email->Body(), "a\r\n");
  EXPECT_EQ(email->BodyTxt(), "");
  EXPECT_EQ(email->ParentWnd(), 0);
  EXPECT_EQ(email->Recipients().Items(0).FAddress, "x@y.pl");  // trimmed; the name keeps its spaces
  EXPECT_EQ(email->Recipients().Items(0).FName, " X ");

  const auto result = TVX64WorkerMailResultJSON::FromJSON(u"{\"Result\":-1,\"Error\":\"\"}");
  EXPECT_EQ(result.Result, 4294967295u);
  EXPECT_EQ(result.Error, u"");
}

TEST_F(MailRecords, MalformedDocumentsAreRefusedWithAClearMessage) {
  EXPECT_EQ(Refusal(u"{\"Recipients\":[{\"Kind\":4}]}"),
            "Nieprawidłowy dokument poczty: \"Kind\" (element nr 1 listy \"Recipients\") ma wartość 4 spoza "
            "zakresu 0 do 3.");
  EXPECT_EQ(Refusal(u"{\"Recipients\":[{\"Kind\":1},null]}"),
            "Nieprawidłowy dokument poczty: element nr 2 listy \"Recipients\" nie jest obiektem adresata.");
  EXPECT_THAT(Refusal(u"{\"Recipients\":[\"a@b.pl\"]}"), HasSubstr("nie jest obiektem adresata"));
  EXPECT_THAT(Refusal(u"{\"Recipients\":{\"Kind\":1}}"),
              HasSubstr("\"Recipients\" ma wartość niewłaściwego"));
  EXPECT_EQ(Refusal(u"{\"HtmlBody\":\"true\"}"),
            "Nieprawidłowy dokument poczty: \"HtmlBody\" ma wartość niewłaściwego rodzaju.");
  EXPECT_THAT(Refusal(u"{\"Recipients\":[{\"Name\":true}]}"), HasSubstr("\"Name\" (element nr 1"));
  EXPECT_THAT(Refusal(u"{\"Attachments\":[\"a\",null]}"), HasSubstr("element nr 2 listy \"Attachments\""));
  EXPECT_THAT(Refusal(u"[1,2]"), HasSubstr("nie jest obiektem JSON"));
  // Not JSON at all, or no text: the reader's own error.
  EXPECT_THROW((void)TVX64Mail::FromJSON(u"{\"Subject\":"), json::TJSONSyntaxError);
  EXPECT_THROW((void)TVX64Mail::FromJSON(u""), json::TJSONSyntaxError);
}

}  // namespace
}  // namespace vx::mail::test
