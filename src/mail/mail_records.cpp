#include "mail/mail_records.h"

#include <span>

#include "json/model/errors.h"

namespace vx::mail {

namespace {

// What a member of a received document may hold (besides null, which leaves it empty).
enum class TExpect { Text, Boolean, Integer, Kind, Texts, Recipients, Recipient };

struct TMemberRule {
  const char16_t* Name;
  TExpect Expect;
};

constexpr TMemberRule kMailRules[] = {
    {u"Attachments", TExpect::Texts},
    {u"Body", TExpect::Text},
    {u"BodyTxt", TExpect::Text},
    {u"HtmlBody", TExpect::Boolean},
    {u"ParentWnd", TExpect::Integer},
    {u"Recipients", TExpect::Recipients},
    {u"RecipientsAddressType", TExpect::Text},
    {u"RecipientsOriginator", TExpect::Recipient},
    {u"Subject", TExpect::Text},
    {u"DirectHtml", TExpect::Boolean},
};

constexpr TMemberRule kRecipientRules[] = {
    {u"AddressType", TExpect::Text},
    {u"Address", TExpect::Text},
    {u"Kind", TExpect::Kind},
    {u"Name", TExpect::Text},
};

bool IsNull(const json::IJSONAncestor& v) {
  return !v || v->GetIsNull();
}

// A string member also takes what the reader made of a date-looking string.
bool IsText(json::TDataType t) {
  return t == json::dtString || t == json::dtDateTime || t == json::dtDate || t == json::dtTime;
}

[[noreturn]] void Refuse(const UString& what) {
  throw EMailDocumentError(UToAnsi(u"Nieprawidłowy dokument poczty: " + what + u"."));
}

void CheckObject(const json::TJSONObject& object, std::span<const TMemberRule> rules, const UString& owner);

void CheckRecipient(const json::IJSONAncestor& value, const UString& owner) {
  if (IsNull(value) || value->GetDataType() != json::dtObject) Refuse(owner + u" nie jest obiektem adresata");
  CheckObject(static_cast<const json::TJSONObject&>(*value), kRecipientRules, owner);
}

void CheckMember(const json::IJSONAncestor& value, TExpect expect, const UString& member) {
  const json::TDataType type = value->GetDataType();
  const auto wrong = [&] { Refuse(member + u" ma wartość niewłaściwego rodzaju"); };
  switch (expect) {
    case TExpect::Text:
      if (!IsText(type)) wrong();
      return;
    case TExpect::Boolean:
      if (type != json::dtBoolean) wrong();
      return;
    case TExpect::Integer:
      if (type != json::dtInteger) wrong();
      return;
    case TExpect::Kind: {
      if (type != json::dtInteger) wrong();
      const std::int64_t kind = static_cast<const json::TJSONInteger&>(*value).GetData();
      if (kind < 0 || kind > 3) Refuse(member + u" ma wartość " + IntToU(kind) + u" spoza zakresu 0 do 3");
      return;
    }
    case TExpect::Texts:
    case TExpect::Recipients: {
      if (type != json::dtArray) wrong();
      int index = 0;
      for (const json::IJSONAncestor& element : static_cast<const json::TJSONArray&>(*value)) {
        ++index;
        const UString name = u"element nr " + IntToU(index) + u" listy " + member;
        if (expect == TExpect::Recipients) {
          CheckRecipient(element, name);
        } else if (IsNull(element) || !IsText(element->GetDataType())) {
          Refuse(name + u" nie jest tekstem");
        }
      }
      return;
    }
    case TExpect::Recipient:
      CheckRecipient(value, member);
      return;
  }
}

void CheckObject(const json::TJSONObject& object, std::span<const TMemberRule> rules, const UString& owner) {
  for (const TMemberRule& rule : rules) {
    const json::IJSONPair pair = object.Get(rule.Name);
    if (!pair || IsNull(pair->GetValue())) continue;
    UString member = u"\"" + UString(rule.Name) + u"\"";
    if (!owner.empty()) member += u" (" + owner + u")";
    CheckMember(pair->GetValue(), rule.Expect, member);
  }
}

}  // namespace

TVX64Recipient TVX64Recipient::FromEmail(const TMailRecip& aRecip) {
  TVX64Recipient r;
  r.AddressType = aRecip.FAddressType;
  r.Address = aRecip.FAddress;
  r.Kind = aRecip.FKind;
  r.Name = aRecip.FName;
  return r;
}

TMailRecip TVX64Recipient::CreateMailRecip() const {
  return TMailRecip{Address, AddressType, Kind, Name};
}

std::unique_ptr<TVX64Mail> TVX64Mail::FromJSON(UStringView text) {
  const json::IDocObject doc = json::TObjectJSONHelper::ParseDocument(text);
  if (doc->GetDataType() != json::dtObject) Refuse(u"tekst nie jest obiektem JSON");
  CheckObject(*doc->GetSelf(), kMailRules, {});
  try {
    return json::TObjectJSONHelper::FromJSON<TVX64Mail>(doc, {}, u"Create");
  } catch (const json::EInvalidCast&) {
    // The checks above leave nothing the serializer refuses; kept as a clear message anyway.
    Refuse(u"wartość niewłaściwego rodzaju");
  }
}

std::unique_ptr<TMapiEmail> TVX64Mail::CreateMapiEmail() const {
  auto email = std::make_unique<TMapiEmail>();
  for (const UString& path : Attachments) email->Attachments().push_back(path);
  email->SetBody(Body);
  email->SetBodyTxt(BodyTxt);
  email->SetHtmlBody(HtmlBody);
  email->SetParentWnd(static_cast<platform::WindowHandle>(ParentWnd));  // sign-extended, explicit even when 0
  for (const TVX64Recipient& r : Recipients)
    email->Recipients().Add(r.Address, r.Name, r.Kind, r.AddressType);
  email->Recipients().FAddressesType = RecipientsAddressType;
  email->SetSubject(Subject);
  email->SetDirectHtml(DirectHtml);
  return email;
}

std::unique_ptr<TVX64Mail> TVX64Mail::FromEmail(const TMapiEmail& aEmail) {
  auto mail = std::make_unique<TVX64Mail>();
  mail->Attachments = aEmail.Attachments();
  mail->Body = aEmail.Body();
  mail->BodyTxt = aEmail.BodyTxt();
  mail->HtmlBody = aEmail.HtmlBody();
  // The low 32 bits of the handle: window handles travel as signed 32-bit numbers.
  mail->ParentWnd = static_cast<std::int32_t>(static_cast<std::uint32_t>(aEmail.ParentWnd() & 0xFFFFFFFF));
  const TMailRecips& recips = aEmail.Recipients();
  for (int i = 0; i < recips.Count(); ++i)
    mail->Recipients.push_back(TVX64Recipient::FromEmail(recips.Items(i)));
  mail->RecipientsAddressType = recips.FAddressesType;
  mail->Subject = aEmail.Subject();
  mail->DirectHtml = aEmail.DirectHtml();
  return mail;
}

}  // namespace vx::mail
