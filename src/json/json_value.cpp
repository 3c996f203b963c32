#include "json/json_value.h"

#include <algorithm>
#include <cmath>

#include "json/date_time.h"
#include "json/json_errors.h"
#include "json/json_writer.h"
#include "json/variant_text.h"

namespace vx::json {

namespace {
constexpr std::string_view kNull = "null";

std::int64_t VariantToInt64(const TVariant& v) {
  if (v.IsIntegral()) return v.AsInt64();
  if (v.VarType() == varBoolean) return v.AsBoolean() ? 1 : 0;
  if (v.IsFloating() || v.VarType() == varDate) return static_cast<std::int64_t>(std::llround(v.AsDouble()));
  if (v.IsText()) {
    if (auto i = TryStrToInt64(v.AsText())) return *i;
    throw EConvertError(u"'" + v.AsText() + u"' is not a valid integer value");
  }
  throw EInvalidCast();
}

double VariantToDouble(const TVariant& v) {
  if (v.IsFloating() || v.VarType() == varDate) return v.AsDouble();
  if (v.IsIntegral()) return static_cast<double>(v.AsInt64());
  if (v.VarType() == varBoolean) return v.AsBoolean() ? 1 : 0;
  if (v.IsText()) {
    if (auto d = TryStrToFloat(v.AsText())) return *d;
    throw EConvertError(u"'" + v.AsText() + u"' is not a valid floating point value");
  }
  throw EInvalidCast();
}
}  // namespace

bool SameName(UStringView a, UStringView b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x == y) continue;
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// ---- TJSONAncestor ----

void TJSONAncestor::SetAsVariant(const TVariant&) {
  throw EInvalidCast();
}

TDataType TJSONAncestor::GetDataType() const {
  throw EJSONError(u"Unknown JSON Type");
}

void TJSONAncestor::AsJSONString(TJSONWriter& writer) const {
  writer.AppendVal(kNull, false);
}

IJSONAncestor TJSONAncestor::Clone() const {
  throw EJSONError(u"Unknown JSON Type");
}

// ---- scalars ----

TVariant TJSONString::GetAsVariant() const {
  return FNull ? TVariant::Null() : TVariant::String(FData);
}
void TJSONString::SetAsVariant(const TVariant& value) {
  if (value.IsNull()) return SetNull();
  SetData(VarToStr(value));
}
void TJSONString::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  writer.AppendString(FData);
}
IJSONAncestor TJSONString::Clone() const {
  return FNull ? MakeRef<TJSONString>(kNullValue) : MakeRef<TJSONString>(FData);
}

TVariant TJSONInteger::GetAsVariant() const {
  return FNull ? TVariant::Null() : TVariant::Int64(FData);
}
void TJSONInteger::SetAsVariant(const TVariant& value) {
  if (value.IsNull()) return SetNull();
  SetData(VariantToInt64(value));
}
void TJSONInteger::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  writer.AppendVal(FData, false);
}
IJSONAncestor TJSONInteger::Clone() const {
  return FNull ? MakeRef<TJSONInteger>(kNullValue) : MakeRef<TJSONInteger>(FData);
}

TVariant TJSONFloat::GetAsVariant() const {
  return FNull ? TVariant::Null() : TVariant::Double(FData);
}
void TJSONFloat::SetAsVariant(const TVariant& value) {
  if (value.IsNull()) return SetNull();
  SetData(VariantToDouble(value));
}
void TJSONFloat::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  writer.AppendFloat(FData);
}
IJSONAncestor TJSONFloat::Clone() const {
  return FNull ? MakeRef<TJSONFloat>(kNullValue) : MakeRef<TJSONFloat>(FData);
}

TVariant TJSONBoolean::GetAsVariant() const {
  return FNull ? TVariant::Null() : TVariant::Boolean(FData);
}
void TJSONBoolean::SetAsVariant(const TVariant& value) {
  if (value.IsNull()) return SetNull();
  SetData(VariantToInt64(value) != 0);
}
void TJSONBoolean::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  writer.AppendVal(FData ? std::string_view("true") : std::string_view("false"), false);
}
IJSONAncestor TJSONBoolean::Clone() const {
  return FNull ? MakeRef<TJSONBoolean>(kNullValue) : MakeRef<TJSONBoolean>(FData);
}

void TJSONNull::AsJSONString(TJSONWriter& writer) const {
  writer.AppendVal(kNull, false);
}
IJSONAncestor TJSONNull::Clone() const {
  return MakeRef<TJSONNull>();
}

// ---- dates ----

template <TDataType Kind>
UString TJSONBaseDate<Kind>::AsText() const {
  return FormatDateTime(FFormat, FData);
}

template <TDataType Kind>
TVariant TJSONBaseDate<Kind>::GetAsVariant() const {
  if (FNull) return TVariant::Null();
  return Kind == dtDateTime ? TVariant::Date(FData) : TVariant::Double(FData);
}

template <TDataType Kind>
void TJSONBaseDate<Kind>::SetAsVariant(const TVariant& value) {
  if (value.IsNull()) return SetNull();
  SetData(VariantToDouble(value));
}

template <TDataType Kind>
void TJSONBaseDate<Kind>::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  UString text = u"\"";
  if (writer.UniversalTime()) {
    text += FormatDateTime(FFormat, LocalToUtc(FData));
    text += u"Z\"";
  } else {
    text += FormatDateTime(FFormat, FData);
    text += u"\"";
  }
  writer.AppendVal(text, false);
}

template <TDataType Kind>
IJSONAncestor TJSONBaseDate<Kind>::Clone() const {
  IJSONAncestor copy;
  if constexpr (Kind == dtDateTime) {
    copy = MakeRef<TJSONDateTime>(FData, FFormat);
  } else if constexpr (Kind == dtDate) {
    copy = MakeRef<TJSONDate>(FData, FFormat);
  } else {
    copy = MakeRef<TJSONTime>(FData, FFormat);
  }
  if (FNull) static_cast<TJSONBaseDate*>(copy.get())->SetNull();
  return copy;
}

template class TJSONBaseDate<dtDateTime>;
template class TJSONBaseDate<dtDate>;
template class TJSONBaseDate<dtTime>;

// ---- object ----

int TJSONObject::IndexOf(UStringView name) const noexcept {
  for (size_t i = 0; i < FData.size(); ++i) {
    if (SameName(FData[i]->GetName(), name)) return static_cast<int>(i);
  }
  return -1;
}

IJSONPair TJSONObject::Get(UStringView name) const {
  const int i = IndexOf(name);
  return i < 0 ? IJSONPair() : FData[static_cast<size_t>(i)];
}

IJSONPair TJSONObject::Get(int index) const {
  if (index < 0 || index >= Count()) return {};
  return FData[static_cast<size_t>(index)];
}

void TJSONObject::AddPair(IJSONPair pair) {
  if (!pair) return;
  Remove(UStringView(pair->GetName()));
  FData.push_back(std::move(pair));
}

void TJSONObject::AddPair(UString name, IJSONAncestor value) {
  AddPair(MakeRef<TJSONPair>(std::move(name), std::move(value)));
}

void TJSONObject::Remove(const IJSONPair& pair) {
  if (pair) Remove(UStringView(pair->GetName()));
}

void TJSONObject::Remove(UStringView name) {
  const int i = IndexOf(name);
  if (i >= 0) FData.erase(FData.begin() + i);
}

void TJSONObject::Remove(int index) {
  if (index >= 0 && index < Count()) FData.erase(FData.begin() + index);
}

void TJSONObject::Sort(const TComparison& comparison) {
  std::stable_sort(FData.begin(), FData.end(),
                   [&](const IJSONPair& a, const IJSONPair& b) { return comparison(a, b) < 0; });
}

void TJSONObject::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  // Members without a value are absent: they are not written.
  size_t last = FData.size();
  while (last > 0 && !FData[last - 1]->GetValue()) --last;
  if (!writer.Ident()) {
    writer.AppendVal('{');
    for (size_t i = 0; i < last; ++i) {
      const TJSONPair& pair = *FData[i];
      const TJSONAncestor* value = pair.GetValue().get();
      if (!value) continue;
      writer.AppendString(pair.GetName());
      writer.AppendVal(':');
      value->AsJSONString(writer);
      if (i + 1 < last) writer.AppendVal(',');
    }
    writer.AppendVal('}');
    return;
  }
  writer.Append(std::string_view("{"), true);
  writer.Inc();
  for (size_t i = 0; i < last; ++i) {
    const TJSONPair& pair = *FData[i];
    const TJSONAncestor* value = pair.GetValue().get();
    if (!value) continue;
    writer.Append(std::string_view(), false);  // indentation
    writer.AppendString(pair.GetName());
    writer.AppendVal(std::string_view(":"), false);
    const TDataType kind = value->GetDataType();
    if (kind == dtObject || kind == dtArray) writer.Append(std::string_view(), true);
    value->AsJSONString(writer);
    if (i + 1 < last) writer.AppendVal(std::string_view(","), true);
  }
  writer.Dec();
  writer.Append(std::string_view("\r\n"), false);
  writer.Append(std::string_view("}"), false);
}

IJSONAncestor TJSONObject::Clone() const {
  auto copy = FNull ? MakeRef<TJSONObject>(kNullValue) : MakeRef<TJSONObject>();
  TJSONPairList pairs;
  pairs.reserve(FData.size());
  for (const IJSONPair& p : FData) {
    pairs.push_back(
        MakeRef<TJSONPair>(p->GetName(), p->GetValue() ? p->GetValue()->Clone() : IJSONAncestor()));
  }
  copy->SetData(std::move(pairs));
  if (FNull) copy->SetNull();
  return copy;
}

// ---- array ----

void TJSONArray::Remove(const IJSONAncestor& value) {
  auto it = std::find_if(FData.begin(), FData.end(), [&](const IJSONAncestor& v) { return v == value; });
  if (it != FData.end()) FData.erase(it);
}

void TJSONArray::Remove(int index) {
  if (index < 0 || index >= Count()) throw EArgumentOutOfRange();
  FData.erase(FData.begin() + index);
}

IJSONAncestor TJSONArray::Get(int index) const {
  if (index < 0 || index >= Count()) return {};
  return FData[static_cast<size_t>(index)];
}

void TJSONArray::SetIndex(int index, IJSONAncestor value) {
  if (index >= 0 && index < Count()) FData[static_cast<size_t>(index)] = std::move(value);
}

void TJSONArray::Sort(const TComparison& comparison) {
  std::stable_sort(FData.begin(), FData.end(),
                   [&](const IJSONAncestor& a, const IJSONAncestor& b) { return comparison(a, b) < 0; });
}

void TJSONArray::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  if (!writer.Ident()) {
    writer.AppendVal('[');
    for (size_t i = 0; i < FData.size(); ++i) {
      if (i > 0) writer.AppendVal(',');
      if (FData[i]) {
        FData[i]->AsJSONString(writer);
      } else {
        writer.AppendVal(kNull, false);
      }
    }
    writer.AppendVal(']');
    return;
  }
  writer.Append(std::string_view("["), true);
  writer.Inc();
  for (size_t i = 0; i < FData.size(); ++i) {
    if (FData[i]) {
      FData[i]->AsJSONString(writer);
    } else {
      writer.AppendVal(kNull, false);
    }
    if (i + 1 < FData.size()) writer.AppendVal(std::string_view(","), true);
  }
  writer.Dec();
  writer.Append(std::string_view("\r\n"), false);
  writer.Append(std::string_view("]"), false);
}

IJSONAncestor TJSONArray::Clone() const {
  auto copy = MakeRef<TJSONArray>();
  TJSONValueList values;
  values.reserve(FData.size());
  for (const IJSONAncestor& v : FData) values.push_back(v ? v->Clone() : IJSONAncestor());
  copy->SetData(std::move(values));
  if (FNull) copy->SetNull();
  return copy;
}

}  // namespace vx::json
