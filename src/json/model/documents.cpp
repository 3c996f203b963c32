#include "json/model/documents.h"

#include <fstream>
#include <ostream>

#include "json/dates/date_time.h"
#include "json/dates/recognition.h"
#include "json/model/errors.h"
#include "json/write/writer.h"

namespace vx::json {

namespace {
bool IsDateKind(TDataType k) {
  return k == dtDateTime || k == dtDate || k == dtTime;
}

// Wrapped value and cast value of a wrapper built from text.
template <class T>
std::pair<TRef<T>, IJSONAncestor> ParseFor(UStringView text, bool checkDate) {
  IJSONAncestor parsed = TJSONObject::ParseJSONValue(text, checkDate);
  if (auto own = RefCast<T>(parsed)) return {own, {}};
  return {MakeRef<T>(), parsed};
}

template <TDataType Kind, class V>
TDateTime DateOf(const IJSONAncestor& v) {
  if (!v) return 0;
  if (v->GetDataType() != Kind) throw EInvalidCast();
  return static_cast<const V&>(*v).GetData();
}
}  // namespace

IJSONAncestor ValueOfVariant(const TVariant& v) {
  switch (v.VarType()) {
    case varNull:
      return MakeRef<TJSONNull>();
    case varInteger:
    case varInt64:
      return MakeRef<TJSONInteger>(v.AsInt64());
    case varDouble:
      return MakeRef<TJSONFloat>(v.AsDouble());
    case varBoolean:
      return MakeRef<TJSONBoolean>(v.AsBoolean());
    case varString:
    case varUString:
      return MakeRef<TJSONString>(v.AsText());
    case varDate:
      return MakeRef<TJSONString>(FormatDateTime(u"yyyy-mm-dd hh:nn:ss", v.AsDouble()));
    default:
      return {};
  }
}

// ---- TBaseJSON ----

template <class T, class Key>
IDocObject TBaseJSON<T, Key>::AsObject() const {
  const IJSONAncestor v = FCastValue ? FCastValue : IJSONAncestor(FJSON);
  if (auto o = RefCast<TJSONObject>(v)) return MakeRef<TDocObject>(o, FCheckDate);
  return {};
}

template <class T, class Key>
IDocArray TBaseJSON<T, Key>::AsArray() const {
  const IJSONAncestor v = FCastValue ? FCastValue : IJSONAncestor(FJSON);
  if (auto a = RefCast<TJSONArray>(v)) return MakeRef<TDocArray>(a, FCheckDate);
  return {};
}

template <class T, class Key>
bool TBaseJSON<T, Key>::GetBoolean(TKey key) const {
  const IJSONAncestor v = Find(key);
  return v && !v->GetIsNull() && BooleanOf(*v);
}

template <class T, class Key>
std::int64_t TBaseJSON<T, Key>::GetInteger(TKey key) const {
  const IJSONAncestor v = Find(key);
  return v && !v->GetIsNull() ? IntegerOf(*v) : 0;
}

template <class T, class Key>
UString TBaseJSON<T, Key>::GetString(TKey key) const {
  const IJSONAncestor v = Find(key);
  return v && !v->GetIsNull() ? StringOf(*v, FCheckDate) : UString();
}

template <class T, class Key>
double TBaseJSON<T, Key>::GetDouble(TKey key) const {
  const IJSONAncestor v = Find(key);
  return v && !v->GetIsNull() ? DoubleOf(*v) : 0;
}

template <class T, class Key>
TVariant TBaseJSON<T, Key>::GetVariant(TKey key) const {
  const IJSONAncestor v = Find(key);
  return v ? v->GetAsVariant() : TVariant();
}

template <class T, class Key>
TDateTime TBaseJSON<T, Key>::GetDateTime(TKey key) const {
  return DateOf<dtDateTime, TJSONDateTime>(Find(key));
}

template <class T, class Key>
TDateTime TBaseJSON<T, Key>::GetDate(TKey key) const {
  return DateOf<dtDate, TJSONDate>(Find(key));
}

template <class T, class Key>
TDateTime TBaseJSON<T, Key>::GetTime(TKey key) const {
  return DateOf<dtTime, TJSONTime>(Find(key));
}

template <class T, class Key>
void TBaseJSON<T, Key>::SetBoolean(TKey key, bool value) {
  Put(key, [&] { return IJSONAncestor(MakeRef<TJSONBoolean>(value)); });
}

template <class T, class Key>
void TBaseJSON<T, Key>::SetInteger(TKey key, std::int64_t value) {
  Put(key, [&] { return IJSONAncestor(MakeRef<TJSONInteger>(value)); });
}

template <class T, class Key>
void TBaseJSON<T, Key>::SetString(TKey key, UStringView value) {
  const IJSONAncestor current = Find(key);
  if (FCheckDate && current && IsDateKind(current->GetDataType())) {
    TDateTime date = 0;
    TDataType kind = dtNil;
    if (!TJSONDateManager::Instance().Check(value, date, kind) || !IsDateKind(kind)) {
      throw EJSONInvalidDate(u"Invalid date format.");
    }
    Put(key, [&] { return NewDate(kind, date); });
    return;
  }
  Put(key, [&] { return IJSONAncestor(MakeRef<TJSONString>(UString(value))); });
}

template <class T, class Key>
void TBaseJSON<T, Key>::SetDouble(TKey key, double value) {
  Put(key, [&] { return IJSONAncestor(MakeRef<TJSONFloat>(value)); });
}

template <class T, class Key>
void TBaseJSON<T, Key>::SetVariant(TKey key, const TVariant& value) {
  if (!ValueOfVariant(value)) return;
  Put(key, [&] { return ValueOfVariant(value); });
}

template <class T, class Key>
void TBaseJSON<T, Key>::SetDateTime(TKey key, TDateTime value) {
  Put(key, [&] { return NewDate(dtDateTime, value); });
}

template <class T, class Key>
void TBaseJSON<T, Key>::SetDate(TKey key, TDateTime value) {
  Put(key, [&] { return NewDate(dtDate, value); });
}

template <class T, class Key>
void TBaseJSON<T, Key>::SetTime(TKey key, TDateTime value) {
  Put(key, [&] { return NewDate(dtTime, value); });
}

template <class T, class Key>
IDocObject TBaseJSON<T, Key>::GetObject(TKey key) {
  IJSONAncestor v = Find(key);
  if (!v) {
    Put(key, [] { return IJSONAncestor(MakeRef<TJSONObject>()); });
    v = Find(key);
  }
  auto o = RefCast<TJSONObject>(v);
  if (!o) throw EInvalidCast();
  return MakeRef<TDocObject>(o, FCheckDate);
}

template <class T, class Key>
void TBaseJSON<T, Key>::SetObject(TKey key, const IDocObject& value) {
  if (!value) return;
  Put(key, [&] { return IJSONAncestor(value->GetSelf()); });
}

template <class T, class Key>
IDocArray TBaseJSON<T, Key>::GetArray(TKey key) {
  IJSONAncestor v = Find(key);
  if (!v) {
    Put(key, [] { return IJSONAncestor(MakeRef<TJSONArray>()); });
    v = Find(key);
  }
  auto a = RefCast<TJSONArray>(v);
  if (!a) throw EInvalidCast();
  return MakeRef<TDocArray>(a, FCheckDate);
}

template <class T, class Key>
void TBaseJSON<T, Key>::SetArray(TKey key, const IDocArray& value) {
  if (!value) return;
  Put(key, [&] { return IJSONAncestor(value->GetSelf()); });
}

template <class T, class Key>
TMemberStatus TBaseJSON<T, Key>::GetNull(TKey key) const {
  const IJSONAncestor v = Find(key);
  if (!v) return jUnAssigned;
  return v->GetIsNull() ? jNull : jAssigned;
}

template <class T, class Key>
TDataType TBaseJSON<T, Key>::GetDataType() const {
  return TCast(FCastValue ? FCastValue : IJSONAncestor(FJSON)).GetDataType();
}

template <class T, class Key>
std::uint16_t TBaseJSON<T, Key>::GetType(TKey key) const {
  const IJSONAncestor v = Find(key);
  if (!v) return varUnknown;
  if (v->GetIsNull()) return varNull;
  switch (v->GetDataType()) {
    case dtString:
      return varString;
    case dtFloat:
      return varDouble;
    case dtInteger:
      return varInt64;
    case dtObject:
      return varObjectCode;
    case dtArray:
      return varArray;
    case dtBoolean:
      return varBoolean;
    case dtDateTime:
    case dtDate:
    case dtTime:
      return varDate;
    default:
      return varNull;
  }
}

template <class T, class Key>
std::string TBaseJSON<T, Key>::AsJSONUtf8(bool Ident, bool UniversalTime) const {
  TJSONWriter writer(Ident, UniversalTime);
  (FCastValue ? *FCastValue : static_cast<const TJSONAncestor&>(*FJSON)).AsJSONString(writer);
  return writer.TakeUtf8();
}

template <class T, class Key>
UString TBaseJSON<T, Key>::AsJSON(bool Ident, bool UniversalTime) const {
  return Utf8ToU(AsJSONUtf8(Ident, UniversalTime));
}

template <class T, class Key>
void TBaseJSON<T, Key>::SaveTo(std::ostream& stream, bool Ident, bool UniversalTime) const {
  stream << AsJSONUtf8(Ident, UniversalTime);
}

template <class T, class Key>
bool TBaseJSON<T, Key>::SaveTo(const std::filesystem::path& fileName, bool Ident, bool UniversalTime) const {
  const std::string text = AsJSONUtf8(Ident, UniversalTime);
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

template class TBaseJSON<TJSONObject, UString>;
template class TBaseJSON<TJSONArray, int>;

// ---- TDocObject ----

TDocObject::TDocObject(UStringView text, bool CheckDate) : TBaseJSON({}, {}, CheckDate) {
  std::tie(FJSON, FCastValue) = ParseFor<TJSONObject>(text, CheckDate);
}

TDocObject::TDocObject(IJSONObject json, bool CheckDate)
    : TBaseJSON(json ? std::move(json) : MakeRef<TJSONObject>(), {}, CheckDate) {}

TDocObject::TDocObject(IJSONAncestor value, bool CheckDate)
    : TBaseJSON(MakeRef<TJSONObject>(), value, CheckDate) {}

IJSONAncestor TDocObject::Find(UStringView key) const {
  const IJSONPair p = FJSON->Get(key);
  return p ? p->GetValue() : IJSONAncestor();
}

void TDocObject::Put(UStringView key, const std::function<IJSONAncestor()>& make) {
  if (const IJSONPair p = FJSON->Get(key)) {
    p->SetValue(make());
  } else {
    FJSON->AddPair(UString(key), make());
  }
}

void TDocObject::SetNull(UStringView key, TMemberStatus status) {
  if (status == jAssigned) return;
  const bool exists = static_cast<bool>(FJSON->Get(key));
  if (exists) FJSON->Remove(key);
  if (!exists || status == jNull) FJSON->AddPair(UString(key), MakeRef<TJSONNull>());
}

UString TDocObject::GetCurrentKey() const {
  const IJSONPair p = FJSON->Get(FOffset);
  return p ? p->GetName() : UString();
}

IJSONAncestor TDocObject::GetCurrentValue() const {
  const IJSONPair p = FJSON->Get(FOffset);
  return p ? p->GetValue() : IJSONAncestor();
}

void TDocObject::SetData(UStringView name, const TVariant& value) {
  if (IJSONAncestor v = ValueOfVariant(value)) Put(name, [&] { return v; });
}

IDocObject TDocObject::Clone() const {
  auto copy = MakeRef<TDocObject>(RefCast<TJSONObject>(FJSON->Clone()), FCheckDate);
  if (FCastValue) copy->FCastValue = FCastValue->Clone();
  return copy;
}

// ---- TDocArray ----

TDocArray::TDocArray(UStringView text, bool CheckDate) : TBaseJSON({}, {}, CheckDate) {
  std::tie(FJSON, FCastValue) =
      ParseFor<TJSONArray>(Trim(text) == u"{}" ? UStringView(u"[]") : text, CheckDate);
}

TDocArray::TDocArray(IJSONArray json, bool CheckDate)
    : TBaseJSON(json ? std::move(json) : MakeRef<TJSONArray>(), {}, CheckDate) {}

TDocArray::TDocArray(IJSONAncestor value, bool CheckDate)
    : TBaseJSON(MakeRef<TJSONArray>(), value, CheckDate) {}

IJSONAncestor TDocArray::Find(int key) const {
  if (key < 0) throw EArgumentOutOfRange();
  return FJSON->Get(key);
}

void TDocArray::Put(int key, const std::function<IJSONAncestor()>& make) {
  if (key < 0) throw EArgumentOutOfRange();
  if (key < FJSON->Count()) {
    FJSON->SetIndex(key, make());
    return;
  }
  while (FJSON->Count() <= key) FJSON->Add(make());
}

void TDocArray::SetNull(int key, TMemberStatus status) {
  if (key < 0) throw EArgumentOutOfRange();
  if (status == jAssigned) return;
  if (key < FJSON->Count()) {
    if (status == jNull) {
      FJSON->SetIndex(key, MakeRef<TJSONNull>());
    } else {
      FJSON->Remove(key);
    }
    return;
  }
  while (FJSON->Count() <= key) FJSON->Add(MakeRef<TJSONNull>());
}

void TDocArray::Add(const IDocArray& value) {
  if (value) FJSON->Add(value->GetSelf());
}

void TDocArray::Add(const IDocObject& value) {
  if (value) FJSON->Add(value->GetSelf());
}

void TDocArray::Add(const TVariant& value) {
  if (IJSONAncestor v = ValueOfVariant(value)) FJSON->Add(std::move(v));
}

IDocArray TDocArray::Clone() const {
  auto copy = MakeRef<TDocArray>(RefCast<TJSONArray>(FJSON->Clone()), FCheckDate);
  if (FCastValue) copy->FCastValue = FCastValue->Clone();
  return copy;
}

// ---- TCast ----

bool TCast::GetIsNull() const {
  const IJSONAncestor v = GetValue();
  return !v || v->GetIsNull();
}

UString TCast::GetString() const {
  const IJSONAncestor v = GetValue();
  return v && !v->GetIsNull() ? StringOf(*v, false) : UString();
}

std::int64_t TCast::GetInteger() const {
  const IJSONAncestor v = GetValue();
  return v && !v->GetIsNull() ? IntegerOf(*v) : 0;
}

double TCast::GetDouble() const {
  const IJSONAncestor v = GetValue();
  return v && !v->GetIsNull() ? DoubleOf(*v) : 0;
}

bool TCast::GetBoolean() const {
  const IJSONAncestor v = GetValue();
  return v && !v->GetIsNull() && BooleanOf(*v);
}

TDateTime TCast::GetDateTime() const {
  const IJSONAncestor v = GetValue();
  if (!v) return 0;
  if (!IsDateKind(v->GetDataType())) throw EInvalidCast();
  return static_cast<const TJSONValue<TDateTime>&>(*v).GetData();
}

template <class V, class P>
void TCast::Set(P value) {
  if (FPair) {
    FPair->SetValue(MakeRef<V>(std::move(value)));
    return;
  }
  auto* own = dynamic_cast<V*>(FValue.get());
  if (!own) throw EInvalidCast();
  own->SetData(std::move(value));
}

void TCast::SetString(UStringView value) {
  Set<TJSONString>(UString(value));
}
void TCast::SetInteger(std::int64_t value) {
  Set<TJSONInteger>(value);
}
void TCast::SetDouble(double value) {
  Set<TJSONFloat>(value);
}
void TCast::SetBoolean(bool value) {
  Set<TJSONBoolean>(value);
}

// ---- JO / JA ----

IDocObject JO(UStringView text) {
  return MakeRef<TDocObject>(text.empty() ? UStringView(u"{}") : text, true);
}

IDocArray JA(UStringView text) {
  return MakeRef<TDocArray>(text, true);
}

}  // namespace vx::json
