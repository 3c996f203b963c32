#include "json/serialize/serialize.h"

#include <algorithm>
#include <array>

#include "json/dates/recognition.h"
#include "json/model/errors.h"

namespace vx::json {

namespace {

struct TClassMaps {
  // Entries are replaced, never changed, so a map handed out stays as it was found.
  std::vector<std::shared_ptr<TClassMapRec>> List;
  std::shared_ptr<const TClassMapRec> LastFound;
};

TClassMaps& Maps() {
  static TClassMaps maps;
  return maps;
}

const DISABLE* NearestClassDisable(const TTypeInfo& type) {
  for (const TTypeInfo* t = &type; t; t = t->Base) {
    if (t->ClassDisable) return &*t->ClassDisable;
  }
  return nullptr;
}

const void* Upcast(const TTypeInfo& type, const void* p, int depth) {
  for (const TTypeInfo* t = &type; depth > 0; t = t->Base, --depth) p = t->ToBase(p);
  return p;
}

const TConstructorInfo* FindConstructor(const TTypeInfo& type, UStringView name) {
  for (const TConstructorInfo& c : type.Constructors) {
    if (EqualNoCase(c.Name, name)) return &c;
  }
  return nullptr;
}

UStringView JSONName(const TMember& m, const TClassMapRecExt* entry) {
  if (entry && !entry->Alias.empty()) return entry->Alias;
  return m.AliasName ? UStringView(*m.AliasName) : UStringView(m.Name);
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 128> kBase64Values = [] {
  std::array<std::int8_t, 128> t{};
  t.fill(-1);
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kBase64[i])] = static_cast<std::int8_t>(i);
  return t;
}();

}  // namespace

// ---- Class maps ----

const TClassMapRecExt* TClassMapRec::GetEnabledMember(UStringView name) const noexcept {
  for (const TClassMapRecExt& e : Enabled) {
    if (e.Enabled() && EqualNoCase(e.Name, name)) return &e;
  }
  return nullptr;
}

int TSerializeParse::IsObjectMappedIdx(UStringView aClass) {
  const auto& list = Maps().List;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i]->ClassType == aClass) return static_cast<int>(i);
  }
  return -1;
}

namespace {
// The map of that class name as a new copy to change, and where it goes back.
std::shared_ptr<TClassMapRec> EditMap(UStringView aClass, int& index) {
  index = TSerializeParse::IsObjectMappedIdx(aClass);
  auto rec = index >= 0 ? std::make_shared<TClassMapRec>(*Maps().List[static_cast<std::size_t>(index)])
                        : std::make_shared<TClassMapRec>();
  rec->ClassType = UString(aClass);
  return rec;
}

void StoreMap(std::shared_ptr<TClassMapRec> rec, int index) {
  TClassMaps& maps = Maps();
  if (index >= 0) {
    maps.List[static_cast<std::size_t>(index)] = std::move(rec);
  } else {
    maps.List.push_back(std::move(rec));
  }
  maps.LastFound.reset();
}
}  // namespace

void TSerializeParse::AddObjectMap(UStringView aClass, const std::vector<UString>& aEnabled) {
  int index = -1;
  auto rec = EditMap(aClass, index);
  rec->Enabled.resize(aEnabled.size());
  for (std::size_t i = 0; i < aEnabled.size(); ++i) rec->Enabled[i].Name = aEnabled[i];
  StoreMap(std::move(rec), index);
}

void TSerializeParse::AddObjectMapExt(UStringView aClass, UStringView aPropName, UStringView aAliasName,
                                      TClassMapFnc aConvertFnc) {
  int index = -1;
  auto rec = EditMap(aClass, index);
  auto it = std::find_if(rec->Enabled.begin(), rec->Enabled.end(),
                         [&](const TClassMapRecExt& e) { return EqualNoCase(e.Name, aPropName); });
  if (it == rec->Enabled.end()) {
    rec->Enabled.push_back({UString(aPropName), UString(aAliasName), std::move(aConvertFnc)});
  } else {
    it->Alias = UString(aAliasName);
    it->Fnc = std::move(aConvertFnc);
  }
  StoreMap(std::move(rec), index);
}

std::shared_ptr<const TClassMapRec> TSerializeParse::FindClassMap(UStringView typeName) {
  TClassMaps& maps = Maps();
  if (maps.List.empty()) return nullptr;
  std::shared_ptr<const TClassMapRec> found;
  if (maps.LastFound && EqualNoCase(maps.LastFound->ClassType, typeName)) {
    found = maps.LastFound;
  } else {
    for (const auto& rec : maps.List) {
      if (EqualNoCase(rec->ClassType, typeName)) {
        found = maps.LastFound = rec;
        break;
      }
    }
  }
  return found && !found->Enabled.empty() ? found : nullptr;
}

// ---- Instance into JSON ----

void TSerializeParse::ReadRecord(const TTypeInfo& type, const void* record, TJSONObject& object) {
  const auto map = FindClassMap(type.Name);
  const DISABLE* classDisable = NearestClassDisable(type);
  for (const auto& [member, depth] : type.Ordered) {
    const TMember& m = *member;
    if (!m.Get || m.Disable || m.DisableWrite) continue;
    if (classDisable && std::find(classDisable->FNames.begin(), classDisable->FNames.end(), m.Name) !=
                            classDisable->FNames.end()) {
      continue;
    }
    const TClassMapRecExt* entry = nullptr;
    if (map && !(entry = map->GetEnabledMember(m.Name))) continue;
    const void* instance = Upcast(type, record, depth);

    std::optional<TVariant> replaced;
    if (m.Reval && VarSame(m.GetVar(instance), m.Reval->FEqual)) replaced = m.Reval->FValue;
    IJSONAncestor value;
    if (entry && entry->Fnc) {
      value = ValueOfVariant(
          entry->Fnc(const_cast<void*>(record), *entry, replaced ? *replaced : m.GetVar(instance), true));
    } else if (replaced) {
      value = replaced->IsNull() ? rtti::Null() : m.VarToJSON(*replaced);
      if (!value) value = ValueOfVariant(*replaced);
    } else {
      value = m.Get(instance);
    }
    if (value) object.AddPair(UString(JSONName(m, entry)), std::move(value));
  }
}

// ---- JSON into an instance ----

void TSerializeParse::WriteRecord(const TTypeInfo& type, void* record, const TJSONObject& object,
                                  bool checkDate) {
  const auto map = FindClassMap(type.Name);
  for (const auto& [member, depth] : type.Ordered) {
    const TMember& m = *member;
    if (!m.Set || m.Disable || m.DisableRead) continue;
    // Null under the member's own name leaves it unchanged, whatever its alias holds.
    const IJSONPair own = object.Get(m.Name);
    if (own && own->GetValue() && own->GetValue()->GetIsNull()) continue;
    const TClassMapRecExt* entry = nullptr;
    if (map && !(entry = map->GetEnabledMember(m.Name))) continue;
    const UStringView name = JSONName(m, entry);
    const IJSONPair pair = name == m.Name ? own : object.Get(name);
    if (entry && entry->Fnc) {
      if (pair)
        entry->Fnc(record, *entry, pair->GetValue() ? pair->GetValue()->GetAsVariant() : TVariant(), false);
      continue;
    }
    if (!pair || !pair->GetValue()) continue;
    const TJSONAncestor& json = *pair->GetValue();
    void* instance = const_cast<void*>(Upcast(type, record, depth));
    if (m.Reval && VarSame(json.GetAsVariant(), m.Reval->FEqual)) {
      if (!m.SetVar || !m.SetVar(instance, m.Reval->FValue)) throw EInvalidCast();
      continue;
    }
    m.Set(instance, json, checkDate);
  }
}

// ---- Construction ----

TOwned TSerializeParse::ObjectConstructor(const TTypeInfo& type) {
  const TConstructorInfo* c = FindConstructor(type, u"Create");
  if (!c) throw EJSONError(u"No constructor");
  return c->Invoke(type.Generics ? type.Generics->CreateArgs : TArgs{});
}

int TSerializeParse::ObjectConstructorParamCount(const TTypeInfo& type) {
  if (type.Generics) return 0;
  const TConstructorInfo* c = FindConstructor(type, u"Create");
  return c ? c->ParamCount : -1;
}

TOwned TObjectJSONHelper::Construct(const TTypeInfo& type, const TArgs& args, UStringView constructor,
                                    TOwned (*makeDefault)()) {
  if (const TConstructorInfo* c = FindConstructor(type, constructor)) return c->Invoke(args);
  return makeDefault();
}

void TObjectJSONHelper::RequireObject(const IDocObject& json) {
  if (!json || json->GetDataType() != dtObject) throw EInvalidCast();
}

IDocObject TObjectJSONHelper::ParseDocument(UStringView text) {
  if (IsBlank(text)) throw TJSONSyntaxError(u"Unexpected end of input", 0, 0);
  return MakeRef<TDocObject>(text, true);
}

// ---- Dates and Base64 ----

bool TSerializeParse::VxCastDateTime(const TVariant& in, TVariant& out) {
  return json::VxCastDateTime(in, out);
}

TDateTime TSerializeParse::VxJSDateToDateTime(UStringView text) {
  return json::VxJSDateToDateTime(text);
}

UString TSerializeParse::Base64Encode(std::span<const std::uint8_t> bytes) {
  UString out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t n = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
    for (int s = 18; s >= 0; s -= 6) out.push_back(static_cast<char16_t>(kBase64[n >> s & 63]));
  }
  if (const std::size_t rest = bytes.size() - i; rest > 0) {
    const std::uint32_t n = bytes[i] << 16 | (rest == 2 ? bytes[i + 1] << 8 : 0);
    out.push_back(static_cast<char16_t>(kBase64[n >> 18 & 63]));
    out.push_back(static_cast<char16_t>(kBase64[n >> 12 & 63]));
    out.push_back(rest == 2 ? static_cast<char16_t>(kBase64[n >> 6 & 63]) : u'=');
    out.push_back(u'=');
  }
  return out;
}

std::vector<std::uint8_t> TSerializeParse::Base64Decode(UStringView text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t acc = 0;
  int bits = 0;
  for (char16_t c : text) {
    if (c == u'=') break;
    if (c >= 128 || kBase64Values[c] < 0) continue;
    acc = (acc << 6 | static_cast<std::uint32_t>(kBase64Values[c])) & 0xFFFFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<std::uint8_t>(acc >> bits));
    }
  }
  return out;
}

// ---- Attributes through JSON text ----

bool TSerializeParse::SetJSONAttributes(const TTypeInfo& type, void* instance,
                                        UStringView aJSONAttributes) noexcept {
  try {
    const IDocObject doc = TObjectJSONHelper::ParseDocument(aJSONAttributes);
    TObjectJSONHelper::RequireObject(doc);
    WriteRecord(type, instance, *doc->GetSelf(), true);
    return true;
  } catch (...) {
    return false;
  }
}

UString TObjectJSONHelper::AttributeText(UStringView aAttribute, UStringView aJSONFormatValue) {
  UString value(aJSONFormatValue);
  std::replace(value.begin(), value.end(), u'\0', u' ');
  UString text(u"{");  // appended piece by piece: GCC 12 misreads "literal + string" at -O3
  text.append(aAttribute).append(u":").append(value).append(u"}");
  return text;
}

namespace {
std::vector<UStringView> Split(UStringView s, char16_t at) {
  std::vector<UStringView> parts;
  for (;;) {
    const std::size_t cut = s.find(at);
    parts.push_back(s.substr(0, cut));
    if (cut == UStringView::npos) return parts;
    s.remove_prefix(cut + 1);
  }
}
}  // namespace

UString TSerializeParse::GetJSONAttribute(UStringView compactJSON, UStringView aAttribute) {
  UStringView text = compactJSON;
  if (text.empty()) return {};
  if (aAttribute.empty()) return UString(text);
  if (text.size() >= 2 && text.front() == u'{' && text.back() == u'}') text = text.substr(1, text.size() - 2);
  UString quoted(aAttribute);
  if (aAttribute.empty() || aAttribute.front() != u'"')
    quoted = UString(u"\"").append(aAttribute).append(u"\"");
  for (const UStringView piece : Split(text, u',')) {
    const std::vector<UStringView> parts = Split(piece, u':');
    if (!EqualNoCase(parts[0], quoted)) continue;
    if (parts.size() < 2) return {};
    UStringView value = parts[1];
    if (!value.empty() && value.front() == u'"')
      value = value.size() >= 2 ? value.substr(1, value.size() - 2) : UStringView();
    return UString(value);
  }
  return {};
}

// ---- Helpers of the member kinds ----

namespace rtti {

IJSONAncestor ReadNested(const TTypeInfo& type, const void* instance) {
  auto object = MakeRef<TJSONObject>();
  TSerializeParse::ReadRecord(type, instance, *object);
  return object;
}

void WriteNested(const TTypeInfo& type, void* instance, const TJSONAncestor& json, bool checkDate) {
  if (json.GetDataType() != dtObject) throw EInvalidCast();
  TSerializeParse::WriteRecord(type, instance, static_cast<const TJSONObject&>(json), checkDate);
}

TOwned Construct(const TTypeInfo& type) {
  return TSerializeParse::ObjectConstructor(type);
}

int ConstructorParamCount(const TTypeInfo& type) {
  return TSerializeParse::ObjectConstructorParamCount(type);
}

UString Base64Of(std::span<const std::uint8_t> bytes) {
  return TSerializeParse::Base64Encode(bytes);
}

std::vector<std::uint8_t> BytesOfBase64(UStringView text) {
  return TSerializeParse::Base64Decode(text);
}

const TJSONArray& JArray(const TJSONAncestor& j) {
  if (j.GetDataType() != dtArray) throw EInvalidCast();
  return static_cast<const TJSONArray&>(j);
}

TDateTime JDate(const TJSONAncestor& j) {
  const TVariant v = j.GetAsVariant();
  TVariant cast;
  if (!json::VxCastDateTime(v, cast)) cast = v;
  const auto n = VarNumber(cast);
  if (!n) throw EInvalidCast();
  return *n;
}

std::optional<double> VarNumber(const TVariant& v) noexcept {
  if (v.IsIntegral()) return static_cast<double>(v.AsInt64());
  if (v.IsFloating() || v.VarType() == varDate) return v.AsDouble();
  return std::nullopt;
}

}  // namespace rtti
}  // namespace vx::json
