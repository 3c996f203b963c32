#pragma once
// Static type descriptions for the serializer. C++ has no run-time reflection, so each record or
// class that is turned into JSON carries a description written once, right after its
// declaration, with the macros at the end of this file:
//
//   struct TRecipient {
//     UString Name;
//     UString Address;
//     std::int32_t Kind = 0;
//   };
//   VX_RECORD(TRecipient, VX_FIELD(Name), VX_FIELD(Address, Alias(u"addr")), VX_FIELD(Kind));
//
//   class TBox : public TThing {
//    public:
//     int GetSize() const;
//     void SetSize(int value);
//     UString Label;
//   };
//   VX_CLASS_OF(TBox, TThing, VX_PROPERTY(Size, GetSize, SetSize), VX_FIELD(Label, DISABLEWRITE()),
//               VX_CLASS_ATTR(DISABLE(u"Secret; Owner")));
//
// A description lists the public members only (a private member does not compile in it), so the
// list is the visibility filter. For an aggregate record the number of VX_FIELD entries is checked
// against the record's field count at compile time, and their order against the declaration order
// when the description is first used (std::logic_error). Properties are getter/setter pairs
// (VX_PROPERTY, VX_PROPERTY_R for read-only, VX_PROPERTY_W for write-only); constructors that the
// serializer may call are listed with VX_CREATE / VX_CONSTRUCTOR (a default-constructible class
// without a "Create" entry has an implicit one without parameters).
//
// Member kinds, by C++ type:
//   TDateTimeField, TDateField, TTimeField     date-time, date, time (a plain double is a float)
//   integers of up to 32 bits, signed or not    written as their low 32 bits read signed
//   64-bit integers, bool, enumerations (by ordinal), float/double
//   char16_t, char                              character kinds
//   UString (Unicode), std::string (ANSI, the locale's code set)
//   TSet<E>                                     set of ordinals 0..31
//   described records (by value), described classes (std::unique_ptr, owning)
//   std::vector<E>, std::array<E, N>, TVariant, IDocObject, IDocArray
//   std::unique_ptr<TMemoryStream>              Base64 text of the bytes
//   std::unique_ptr<TList<E>>, std::unique_ptr<TObjectList<E>>   generic lists
//   std::function, function pointers, raw pointers (class references)   left out; null when empty
// Any other member type does not compile.
#include <algorithm>
#include <array>
#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/ustring.h"
#include "json/json_doc.h"
#include "json/json_errors.h"
#include "json/json_value.h"
#include "json/variant.h"

namespace vx::json {

// ---- Value types of the member kinds ----

// Date members carry their kind in their type; they hold the date-time number.
template <TDataType Kind>
struct TDateKindField {
  TDateTime Value = 0;
  TDateKindField() = default;
  TDateKindField(TDateTime value) : Value(value) {}  // NOLINT: converts like the number it holds
  operator TDateTime() const noexcept { return Value; }
  friend bool operator==(const TDateKindField&, const TDateKindField&) = default;
};
using TDateTimeField = TDateKindField<dtDateTime>;
using TDateField = TDateKindField<dtDate>;
using TTimeField = TDateKindField<dtTime>;

// A set of ordinals 0..31 of an enumeration (or integer) type.
template <class E>
class TSet {
 public:
  TSet() = default;
  TSet(std::initializer_list<E> items) {
    for (E e : items) Include(e);
  }
  void Include(E e) noexcept {
    if (const int o = Ord(e); o >= 0 && o < 32) FBits |= 1u << o;
  }
  void Exclude(E e) noexcept {
    if (const int o = Ord(e); o >= 0 && o < 32) FBits &= ~(1u << o);
  }
  [[nodiscard]] bool Contains(E e) const noexcept {
    const int o = Ord(e);
    return o >= 0 && o < 32 && (FBits >> o & 1u);
  }
  [[nodiscard]] std::uint32_t Bits() const noexcept { return FBits; }
  void SetBits(std::uint32_t bits) noexcept { FBits = bits; }
  friend bool operator==(const TSet&, const TSet&) = default;

 private:
  static int Ord(E e) noexcept { return static_cast<int>(e); }
  std::uint32_t FBits = 0;
};

// A stream of bytes with a position.
class TMemoryStream {
 public:
  [[nodiscard]] std::int64_t Size() const noexcept { return static_cast<std::int64_t>(FData.size()); }
  [[nodiscard]] std::int64_t Position() const noexcept { return FPosition; }
  void SetPosition(std::int64_t p) noexcept { FPosition = std::clamp<std::int64_t>(p, 0, Size()); }
  // Writes at the position (overwriting, then extending) and moves past the bytes.
  void Write(std::span<const std::uint8_t> bytes);
  // Reads up to bytes.size() bytes from the position; answers how many were read.
  std::size_t Read(std::span<std::uint8_t> bytes);
  [[nodiscard]] const std::vector<std::uint8_t>& Bytes() const noexcept { return FData; }

 private:
  std::vector<std::uint8_t> FData;
  std::int64_t FPosition = 0;
};

// Generic list of values.
template <class T>
class TList {
 public:
  void Add(T item) { FItems.push_back(std::move(item)); }
  [[nodiscard]] int Count() const noexcept { return static_cast<int>(FItems.size()); }
  [[nodiscard]] const T& Items(int i) const { return FItems.at(static_cast<std::size_t>(i)); }
  [[nodiscard]] T& Items(int i) { return FItems.at(static_cast<std::size_t>(i)); }
  void Clear() noexcept { FItems.clear(); }

 private:
  std::vector<T> FItems;
};

// Generic list that owns its objects (whatever the flag says: the items are unique_ptrs; the flag
// is the construction argument the serializer passes).
template <class T>
class TObjectList {
 public:
  explicit TObjectList(bool AOwnsObjects = true) : FOwnsObjects(AOwnsObjects) {}
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;
  void Add(std::unique_ptr<T> item) { FItems.push_back(std::move(item)); }
  [[nodiscard]] int Count() const noexcept { return static_cast<int>(FItems.size()); }
  [[nodiscard]] T& Items(int i) const { return *FItems.at(static_cast<std::size_t>(i)); }
  [[nodiscard]] bool OwnsObjects() const noexcept { return FOwnsObjects; }
  void Clear() noexcept { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<T>> FItems;
  bool FOwnsObjects;
};

// ---- Attributes ----

// The member's JSON name.
struct Alias {
  explicit Alias(UStringView AName) : FName(AName) {}
  UString FName;
};

// On a member: no part in either direction. On a class (VX_CLASS_ATTR): the members named in the
// ";" or "," separated list are left out when an instance is turned into JSON.
struct DISABLE {
  DISABLE() = default;
  explicit DISABLE(UStringView aNames);
  std::vector<UString> FNames;
};

// Not filled from JSON.
struct DISABLEREAD {};
// Not written to JSON.
struct DISABLEWRITE {};

// When the member's value equals FEqual, FValue is used instead (both directions). Both values
// are of one kind (integer, text, double or boolean); with one argument FValue is null.
struct REVAL {
  template <class A>
  explicit REVAL(A EQVal) : FEqual(AttrVariant(EQVal)), FValue(TVariant::Null()) {}
  template <class A, class B>
  REVAL(A EQVal, B NewVal) : FEqual(AttrVariant(EQVal)), FValue(AttrVariant(NewVal)) {}
  TVariant FEqual;
  TVariant FValue;

 private:
  template <class A>
  static TVariant AttrVariant(A v) {
    if constexpr (std::is_same_v<A, bool>) {
      return TVariant::Boolean(v);
    } else if constexpr (std::is_integral_v<A>) {
      return TVariant::Int64(static_cast<std::int64_t>(v));
    } else if constexpr (std::is_floating_point_v<A>) {
      return TVariant::Double(v);
    } else {
      return TVariant::String(UString(UStringView(v)));
    }
  }
};

// Variant equality as REVAL compares: numbers by value, texts exactly, booleans with booleans.
[[nodiscard]] bool VarSame(const TVariant& a, const TVariant& b) noexcept;

// ---- Descriptions ----

using TArgs = std::vector<TVariant>;
// An instance made through a description; its deleter knows the concrete type.
using TOwned = std::unique_ptr<void, void (*)(void*)>;

struct TTypeInfo;

// One property or field. Get is empty for a write-only property, Set for a read-only one.
struct TMember {
  UString Name;
  std::optional<UString> AliasName;
  bool Disable = false;
  bool DisableRead = false;
  bool DisableWrite = false;
  std::optional<REVAL> Reval;
  bool IsProperty = false;
  // The value as JSON: nil when the kind is left out.
  IJSONAncestor (*Get)(const void* instance) = nullptr;
  // Sets the member from a JSON value (null included); raises EInvalidCast on a mismatch.
  void (*Set)(void* instance, const TJSONAncestor& json, bool checkDate) = nullptr;
  // The value as a variant (empty for kinds without one).
  TVariant (*GetVar)(const void* instance) = nullptr;
  // Stores a variant (null: the member's empty value); false when it does not convert.
  bool (*SetVar)(void* instance, const TVariant& value) = nullptr;
  // A variant as JSON of the member's kind; nil when it does not convert.
  IJSONAncestor (*VarToJSON)(const TVariant& value) = nullptr;
};

struct TConstructorInfo {
  UString Name;
  int ParamCount = 0;
  TOwned (*Invoke)(const TArgs& args) = nullptr;
};

// What the serializer knows of a generic list.
struct TGenericsInfo {
  const TTypeInfo* Typ = nullptr;  // element type, when it has a description
  bool IsGeneric = true;
  TArgs CreateArgs;  // none for a plain list, true (owning) for an object list
};

struct TTypeInfo {
  TTypeInfo() = default;
  // Ordered points into the member lists: moves keep it valid, copies would not.
  TTypeInfo(TTypeInfo&&) = default;
  TTypeInfo(const TTypeInfo&) = delete;
  TTypeInfo& operator=(const TTypeInfo&) = delete;

  UString Name;
  bool IsClass = false;
  const TTypeInfo* Base = nullptr;
  const void* (*ToBase)(const void*) = nullptr;  // an instance's base-class part
  std::vector<TMember> Properties;               // own, in declaration order
  std::vector<TMember> Fields;
  std::optional<DISABLE> ClassDisable;
  std::vector<TConstructorInfo> Constructors;
  std::optional<TGenericsInfo> Generics;

  // Properties, then fields; own members first, then the ancestors', nearest first. Depth is the
  // number of ToBase steps from this type to the member's owner.
  struct TOrdered {
    const TMember* Member;
    int Depth;
  };
  std::vector<TOrdered> Ordered;
  // Builds Ordered; called once the description is complete.
  void Finish();
};

// A type has a description when VxTypeInfo(const T*) is found for it (by argument-dependent
// lookup: the macros define it next to the type).
template <class T>
concept Described = requires(const T* p) {
  { VxTypeInfo(p) } -> std::same_as<const TTypeInfo&>;
};

template <Described T>
[[nodiscard]] const TTypeInfo& TypeInfoOf() {
  return VxTypeInfo(static_cast<const T*>(nullptr));
}

// ---- Nested values, implemented by the serializer ----

namespace rtti {
// A described record or object into a new JSON object, and a JSON object into one.
[[nodiscard]] IJSONAncestor ReadNested(const TTypeInfo& type, const void* instance);
void WriteNested(const TTypeInfo& type, void* instance, const TJSONAncestor& json, bool checkDate);
[[nodiscard]] TOwned Construct(const TTypeInfo& type);
[[nodiscard]] int ConstructorParamCount(const TTypeInfo& type);
[[nodiscard]] UString Base64Of(std::span<const std::uint8_t> bytes);
[[nodiscard]] std::vector<std::uint8_t> BytesOfBase64(UStringView text);
// The JSON value TDocObject::SetData stores for a variant (nil: stores nothing).
[[nodiscard]] IJSONAncestor VariantValue(const TVariant& v);

// The getters' type rules on a present, non-null value.
[[nodiscard]] std::int64_t JInteger(const TJSONAncestor& j);
[[nodiscard]] double JDouble(const TJSONAncestor& j);
[[nodiscard]] bool JBoolean(const TJSONAncestor& j);
[[nodiscard]] UString JString(const TJSONAncestor& j, bool checkDate);
[[nodiscard]] const TJSONArray& JArray(const TJSONAncestor& j);
[[nodiscard]] TDateTime JDate(const TJSONAncestor& j);
[[nodiscard]] std::optional<double> VarNumber(const TVariant& v) noexcept;

inline IJSONAncestor Null() {
  return MakeRef<TJSONNull>();
}

template <class T>
inline constexpr bool kIsList = false;
template <class T>
inline constexpr bool kIsList<TList<T>> = true;
template <class T>
inline constexpr bool kIsList<TObjectList<T>> = true;

template <class T>
concept RecordLike = Described<T> && !kIsList<T> && !std::is_same_v<T, TMemoryStream>;

// ---- The member kinds ----
// ToJSON: the value as JSON (nil: left out). FromJSON: from a present, non-null value.
// FromNull: what a null does (true when the value was changed). ToVariant/FromVariant: for REVAL,
// class-map functions and constructor arguments.

struct TKindBase {
  template <class M>
  static bool FromNull(M&) {
    return false;
  }
  template <class M>
  static TVariant ToVariant(const M&) {
    return {};
  }
  template <class M>
  static bool FromVariant(M&, const TVariant&) {
    return false;
  }
};

template <class M>
struct TKind {
  static_assert(sizeof(M) == 0, "this member type has no JSON form");
};

template <class M>
concept PlainInteger = std::is_integral_v<M> && !std::is_same_v<M, bool> && !std::is_same_v<M, char> &&
                       !std::is_same_v<M, char16_t> && !std::is_same_v<M, char32_t> &&
                       !std::is_same_v<M, wchar_t> && !std::is_same_v<M, char8_t>;

template <class M>
requires PlainInteger<M>
struct TKind<M> : TKindBase {
  static IJSONAncestor ToJSON(M v) {
    if constexpr (sizeof(M) <= 4) {
      // The 32 bits read as a signed integer: an unsigned 4294967295 is -1.
      return MakeRef<TJSONInteger>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
    } else {
      return MakeRef<TJSONInteger>(static_cast<std::int64_t>(v));
    }
  }
  // Cut to the member's width, no range check.
  static void FromJSON(M& v, const TJSONAncestor& j, bool) {
    v = static_cast<M>(static_cast<std::uint64_t>(JInteger(j)));
  }
  static bool FromNull(M& v) {
    v = 0;
    return true;
  }
  static TVariant ToVariant(M v) { return TVariant::Int64(static_cast<std::int64_t>(v)); }
  static bool FromVariant(M& v, const TVariant& x) {
    if (x.IsNull()) return FromNull(v);
    if (!x.IsIntegral()) return false;
    v = static_cast<M>(static_cast<std::uint64_t>(x.AsInt64()));
    return true;
  }
};

template <class M>
requires std::is_enum_v<M>
struct TKind<M> : TKindBase {
  using U = std::underlying_type_t<M>;
  static IJSONAncestor ToJSON(M v) {
    return MakeRef<TJSONInteger>(static_cast<std::int64_t>(static_cast<U>(v)));
  }
  static void FromJSON(M& v, const TJSONAncestor& j, bool) {
    v = static_cast<M>(static_cast<U>(JInteger(j)));
  }
  static bool FromNull(M& v) {
    v = M{};
    return true;
  }
  static TVariant ToVariant(M v) { return TVariant::Int64(static_cast<std::int64_t>(static_cast<U>(v))); }
  static bool FromVariant(M& v, const TVariant& x) {
    if (x.IsNull()) return FromNull(v);
    if (!x.IsIntegral()) return false;
    v = static_cast<M>(static_cast<U>(x.AsInt64()));
    return true;
  }
};

template <>
struct TKind<bool> : TKindBase {
  static IJSONAncestor ToJSON(bool v) { return MakeRef<TJSONBoolean>(v); }
  static void FromJSON(bool& v, const TJSONAncestor& j, bool) { v = JBoolean(j); }
  static bool FromNull(bool& v) {
    v = false;
    return true;
  }
  static TVariant ToVariant(bool v) { return TVariant::Boolean(v); }
  static bool FromVariant(bool& v, const TVariant& x) {
    if (x.IsNull()) return FromNull(v);
    if (x.VarType() != varBoolean) return false;
    v = x.AsBoolean();
    return true;
  }
};

template <class M>
requires std::is_floating_point_v<M>
struct TKind<M> : TKindBase {
  static IJSONAncestor ToJSON(M v) { return MakeRef<TJSONFloat>(static_cast<double>(v)); }
  static void FromJSON(M& v, const TJSONAncestor& j, bool) { v = static_cast<M>(JDouble(j)); }
  static bool FromNull(M& v) {
    v = 0;
    return true;
  }
  static TVariant ToVariant(M v) { return TVariant::Double(static_cast<double>(v)); }
  static bool FromVariant(M& v, const TVariant& x) {
    if (x.IsNull()) return FromNull(v);
    const auto n = VarNumber(x);
    if (!n) return false;
    v = static_cast<M>(*n);
    return true;
  }
};

template <TDataType Kind>
struct TKind<TDateKindField<Kind>> : TKindBase {
  using M = TDateKindField<Kind>;
  static IJSONAncestor ToJSON(M v) {
    if constexpr (Kind == dtDateTime) {
      return MakeRef<TJSONDateTime>(v.Value);
    } else if constexpr (Kind == dtDate) {
      return MakeRef<TJSONDate>(v.Value);
    } else {
      return MakeRef<TJSONTime>(v.Value);
    }
  }
  static void FromJSON(M& v, const TJSONAncestor& j, bool) { v.Value = JDate(j); }
  static TVariant ToVariant(M v) { return TVariant::Date(v.Value); }
  static bool FromVariant(M& v, const TVariant& x) {
    if (x.IsNull()) {
      v.Value = 0;
      return true;
    }
    const auto n = VarNumber(x);
    if (!n) return false;
    v.Value = *n;
    return true;
  }
};

template <>
struct TKind<UString> : TKindBase {
  static IJSONAncestor ToJSON(const UString& v) { return MakeRef<TJSONString>(v); }
  static void FromJSON(UString& v, const TJSONAncestor& j, bool checkDate) { v = JString(j, checkDate); }
  static bool FromNull(UString& v) {
    v.clear();
    return true;
  }
  static TVariant ToVariant(const UString& v) { return TVariant::String(v); }
  static bool FromVariant(UString& v, const TVariant& x) {
    if (x.IsNull()) return FromNull(v);
    if (!x.IsText()) return false;
    v = x.AsText();
    return true;
  }
};

template <>
struct TKind<std::string> : TKindBase {
  static IJSONAncestor ToJSON(const std::string& v) { return MakeRef<TJSONString>(AnsiToU(v)); }
  static void FromJSON(std::string& v, const TJSONAncestor& j, bool checkDate) {
    v = UToAnsi(JString(j, checkDate));
  }
  static bool FromNull(std::string& v) {
    v.clear();
    return true;
  }
  static TVariant ToVariant(const std::string& v) { return TVariant::String(AnsiToU(v), varString); }
  static bool FromVariant(std::string& v, const TVariant& x) {
    if (x.IsNull()) return FromNull(v);
    if (!x.IsText()) return false;
    v = UToAnsi(x.AsText());
    return true;
  }
};

template <>
struct TKind<char16_t> : TKindBase {
  static IJSONAncestor ToJSON(char16_t v) { return MakeRef<TJSONString>(UString(1, v)); }
  // The first character; an empty text leaves the member unchanged.
  static void FromJSON(char16_t& v, const TJSONAncestor& j, bool checkDate) {
    const UString s = JString(j, checkDate);
    if (!s.empty()) v = s.front();
  }
  static TVariant ToVariant(char16_t v) { return TVariant::String(UString(1, v)); }
  static bool FromVariant(char16_t& v, const TVariant& x) {
    if (!x.IsText() || x.AsText().empty()) return false;
    v = x.AsText().front();
    return true;
  }
};

template <>
struct TKind<char> : TKindBase {
  static IJSONAncestor ToJSON(char v) { return MakeRef<TJSONString>(AnsiToU(std::string(1, v))); }
  static void FromJSON(char& v, const TJSONAncestor& j, bool checkDate) {
    const std::string s = UToAnsi(JString(j, checkDate));
    if (!s.empty()) v = s.front();
  }
  static TVariant ToVariant(char v) { return TVariant::String(AnsiToU(std::string(1, v)), varString); }
  static bool FromVariant(char& v, const TVariant& x) {
    if (!x.IsText() || x.AsText().empty()) return false;
    v = UToAnsi(x.AsText()).front();
    return true;
  }
};

template <class E>
struct TKind<TSet<E>> : TKindBase {
  static IJSONAncestor ToJSON(const TSet<E>& v) {
    auto a = MakeRef<TJSONArray>();
    for (int o = 0; o < 32; ++o) {
      if (v.Bits() >> o & 1u) a->Add(MakeRef<TJSONInteger>(o));
    }
    return a;
  }
  // The array's integers 0..31 are the members present; anything else is ignored.
  static void FromJSON(TSet<E>& v, const TJSONAncestor& j, bool) {
    std::uint32_t bits = 0;
    for (const IJSONAncestor& e : JArray(j)) {
      if (!e || e->GetIsNull() || e->GetDataType() != dtInteger) continue;
      const std::int64_t o = static_cast<const TJSONInteger&>(*e).GetData();
      if (o >= 0 && o < 32) bits |= 1u << o;
    }
    v.SetBits(bits);
  }
};

template <>
struct TKind<TVariant> : TKindBase {
  static IJSONAncestor ToJSON(const TVariant& v) { return VariantValue(v); }
  static void FromJSON(TVariant& v, const TJSONAncestor& j, bool) {
    if (TVariant x = j.GetAsVariant(); !x.IsNull()) v = std::move(x);
  }
  static TVariant ToVariant(const TVariant& v) { return v; }
  static bool FromVariant(TVariant& v, const TVariant& x) {
    v = x;
    return true;
  }
};

template <>
struct TKind<IDocObject> : TKindBase {
  static IJSONAncestor ToJSON(const IDocObject& v) {
    if (!v) return Null();
    return v->GetSelf()->Clone();
  }
  static void FromJSON(IDocObject& v, const TJSONAncestor& j, bool checkDate) {
    if (j.GetDataType() == dtObject) v = MakeRef<TDocObject>(RefCast<TJSONObject>(j.Clone()), checkDate);
  }
};

template <>
struct TKind<IDocArray> : TKindBase {
  static IJSONAncestor ToJSON(const IDocArray& v) {
    if (!v) return Null();
    return v->GetSelf()->Clone();
  }
  static void FromJSON(IDocArray& v, const TJSONAncestor& j, bool checkDate) {
    if (j.GetDataType() == dtArray) v = MakeRef<TDocArray>(RefCast<TJSONArray>(j.Clone()), checkDate);
  }
};

// Callbacks, function and member-function pointers, raw pointers (class references included):
// null when empty, otherwise left out; never filled from JSON.
template <class M>
concept LeftOut = std::is_pointer_v<M> || std::is_member_function_pointer_v<M>;

template <class M>
requires LeftOut<M>
struct TKind<M> : TKindBase {
  static IJSONAncestor ToJSON(M v) { return v ? IJSONAncestor() : Null(); }
  static void FromJSON(M&, const TJSONAncestor&, bool) {}
};

template <class Sig>
struct TKind<std::function<Sig>> : TKindBase {
  static IJSONAncestor ToJSON(const std::function<Sig>& v) { return v ? IJSONAncestor() : Null(); }
  static void FromJSON(std::function<Sig>&, const TJSONAncestor&, bool) {}
};

// A described record (or a class held by value): a nested object.
template <class M>
requires RecordLike<M>
struct TKind<M> : TKindBase {
  static IJSONAncestor ToJSON(const M& v) { return ReadNested(TypeInfoOf<M>(), &v); }
  static void FromJSON(M& v, const TJSONAncestor& j, bool checkDate) {
    WriteNested(TypeInfoOf<M>(), &v, j, checkDate);
  }
};

template <>
struct TKind<TMemoryStream> : TKindBase {
  // The whole content from position 0, in Base64; the stream is left at its end.
  static IJSONAncestor ToJSON(TMemoryStream& v) {
    v.SetPosition(v.Size());
    return MakeRef<TJSONString>(Base64Of(v.Bytes()));
  }
  // Appended at the current position.
  static void FromJSON(TMemoryStream& v, const TJSONAncestor& j, bool checkDate) {
    v.Write(BytesOfBase64(JString(j, checkDate)));
  }
};

// Element of an array or list from JSON: null gives the empty value of scalar kinds and leaves
// records, objects and interfaces as they are.
template <class E>
bool ApplyJSON(E& e, const TJSONAncestor& j, bool checkDate) {
  if (j.GetIsNull()) return TKind<E>::FromNull(e);
  TKind<E>::FromJSON(e, j, checkDate);
  return true;
}

template <class V>
IJSONAncestor ElementJSON(V& e) {
  IJSONAncestor v = TKind<std::remove_const_t<V>>::ToJSON(e);
  return v ? v : Null();
}

template <class E>
inline constexpr bool kObjectElement = RecordLike<E>;
template <class T>
inline constexpr bool kObjectElement<std::unique_ptr<T>> = true;

IJSONAncestor ItemsJSON(const auto& list) {
  auto a = MakeRef<TJSONArray>();
  for (int i = 0; i < list.Count(); ++i) a->Add(ElementJSON(list.Items(i)));
  return a;
}

// A generic list of values: object elements come only from JSON objects (others are skipped);
// plain values are converted by their kind, nulls skipped. The list is not cleared first.
template <class E>
struct TKind<TList<E>> : TKindBase {
  static IJSONAncestor ToJSON(const TList<E>& v) { return ItemsJSON(v); }
  static void FromJSON(TList<E>& v, const TJSONAncestor& j, bool checkDate) {
    for (const IJSONAncestor& e : JArray(j)) {
      if (!e || e->GetIsNull()) continue;
      if (kObjectElement<E> && e->GetDataType() != dtObject) continue;
      E item{};
      TKind<E>::FromJSON(item, *e, checkDate);
      v.Add(std::move(item));
    }
  }
};

template <class T>
struct TKind<TObjectList<T>> : TKindBase {
  static IJSONAncestor ToJSON(const TObjectList<T>& v) { return ItemsJSON(v); }
  static void FromJSON(TObjectList<T>& v, const TJSONAncestor& j, bool checkDate) {
    for (const IJSONAncestor& e : JArray(j)) {
      if (!e || e->GetDataType() != dtObject) continue;
      std::unique_ptr<T> item(static_cast<T*>(Construct(TypeInfoOf<T>()).release()));
      TKind<T>::FromJSON(*item, *e, checkDate);
      v.Add(std::move(item));
    }
  }
};

// An owned class instance: null when there is none. Filled in place; when there is none and the
// class's "Create" takes no parameters, one is made first; otherwise the member stays empty.
template <class T>
struct TKind<std::unique_ptr<T>> : TKindBase {
  static IJSONAncestor ToJSON(const std::unique_ptr<T>& v) {
    if (!v) return Null();
    return TKind<T>::ToJSON(*v);
  }
  static void FromJSON(std::unique_ptr<T>& v, const TJSONAncestor& j, bool checkDate) {
    if (!v) {
      const TTypeInfo& type = TypeInfoOf<T>();
      if (ConstructorParamCount(type) != 0) return;
      v.reset(static_cast<T*>(Construct(type).release()));
    }
    TKind<T>::FromJSON(*v, j, checkDate);
  }
};

// Dynamic array: empty is null; read back resized to the JSON array's length.
template <class E>
struct TKind<std::vector<E>> : TKindBase {
  static IJSONAncestor ToJSON(const std::vector<E>& v) {
    if (v.empty()) return Null();
    auto a = MakeRef<TJSONArray>();
    for (const E& e : v) a->Add(ElementJSON(e));
    return a;
  }
  static void FromJSON(std::vector<E>& v, const TJSONAncestor& j, bool checkDate) {
    const TJSONArray& a = JArray(j);
    v.resize(static_cast<std::size_t>(a.Count()));
    int i = 0;
    for (const IJSONAncestor& e : a) {
      if constexpr (std::is_same_v<E, bool>) {
        bool b = v[i];
        ApplyJSON(b, *e, checkDate);
        v[i] = b;
      } else {
        ApplyJSON(v[i], *e, checkDate);
      }
      ++i;
    }
  }
};

template <class E, std::size_t N>
struct TKind<std::array<E, N>> : TKindBase {
  static IJSONAncestor ToJSON(const std::array<E, N>& v) {
    auto a = MakeRef<TJSONArray>();
    for (const E& e : v) a->Add(ElementJSON(e));
    return a;
  }
  static void FromJSON(std::array<E, N>& v, const TJSONAncestor& j, bool checkDate) {
    const TJSONArray& a = JArray(j);
    for (int i = 0; i < a.Count() && i < static_cast<int>(N); ++i) ApplyJSON(v[i], *a.Get(i), checkDate);
  }
};

// ---- Member access ----

template <class>
struct TFieldPtr;
template <class C, class M>
struct TFieldPtr<M C::*> {
  using Type = M;
};

template <class>
struct TSetterArg;
template <class C, class A>
struct TSetterArg<void (C::*)(A)> {
  using Type = std::remove_cvref_t<A>;
};

template <class M>
TVariant VariantOf(const M& v) {
  return TKind<M>::ToVariant(v);
}

template <class M>
IJSONAncestor VarJSON(const TVariant& x) {
  if constexpr (std::is_default_constructible_v<M> && std::is_move_assignable_v<M>) {
    M tmp{};
    if (TKind<M>::FromVariant(tmp, x)) return TKind<M>::ToJSON(tmp);
  }
  return {};
}

template <class Self, auto MP>
struct TFieldAccess {
  using M = typename TFieldPtr<decltype(MP)>::Type;
  static const Self& Of(const void* p) { return *static_cast<const Self*>(p); }
  static Self& Of(void* p) { return *static_cast<Self*>(p); }
  static IJSONAncestor Get(const void* p) { return TKind<M>::ToJSON(Of(p).*MP); }
  static void Set(void* p, const TJSONAncestor& j, bool checkDate) { ApplyJSON(Of(p).*MP, j, checkDate); }
  static TVariant GetVar(const void* p) { return VariantOf(Of(p).*MP); }
  static bool SetVar(void* p, const TVariant& x) { return TKind<M>::FromVariant(Of(p).*MP, x); }
  static const void* Address(const void* p) { return &(Of(p).*MP); }
};

template <class Self, auto G, auto S>
struct TPropertyAccess {
  static constexpr bool kGet = !std::is_null_pointer_v<decltype(G)>;
  static constexpr bool kSet = !std::is_null_pointer_v<decltype(S)>;
  static auto TypeTag() {
    if constexpr (kGet) {
      return std::type_identity<std::remove_cvref_t<std::invoke_result_t<decltype(G), const Self&>>>{};
    } else {
      return std::type_identity<typename TSetterArg<decltype(S)>::Type>{};
    }
  }
  using M = typename decltype(TypeTag())::type;
  static const Self& Of(const void* p) { return *static_cast<const Self*>(p); }
  static Self& Of(void* p) { return *static_cast<Self*>(p); }
  static M Current(void* p) {
    if constexpr (kGet) {
      return std::invoke(G, std::as_const(Of(p)));
    } else {
      return M{};
    }
  }
  static IJSONAncestor Get(const void* p) {
    if constexpr (kGet) {
      M v = std::invoke(G, Of(p));
      return TKind<M>::ToJSON(v);
    } else {
      return {};
    }
  }
  // Into a copy of the current value, which is then stored through the setter.
  static void Set(void* p, const TJSONAncestor& j, bool checkDate) {
    if constexpr (kSet) {
      M v = Current(p);
      if (ApplyJSON(v, j, checkDate)) std::invoke(S, Of(p), std::move(v));
    }
  }
  static TVariant GetVar(const void* p) {
    if constexpr (kGet) {
      return VariantOf<M>(std::invoke(G, Of(p)));
    } else {
      return {};
    }
  }
  static bool SetVar(void* p, const TVariant& x) {
    if constexpr (kSet) {
      M v = Current(p);
      if (!TKind<M>::FromVariant(v, x)) return false;
      std::invoke(S, Of(p), std::move(v));
      return true;
    } else {
      return false;
    }
  }
};

// ---- Description entries ----

struct TFieldDecl {
  TMember Member;
  const void* (*Address)(const void*);
};
struct TPropertyDecl {
  TMember Member;
};
struct TConstructorDecl {
  TConstructorInfo Constructor;
};
struct TClassAttrDecl {
  DISABLE Disable;
};

inline void ApplyAttr(TMember& m, const Alias& a) {
  m.AliasName = a.FName;
}
inline void ApplyAttr(TMember& m, const DISABLE&) {
  m.Disable = true;
}
inline void ApplyAttr(TMember& m, DISABLEREAD) {
  m.DisableRead = true;
}
inline void ApplyAttr(TMember& m, DISABLEWRITE) {
  m.DisableWrite = true;
}
inline void ApplyAttr(TMember& m, const REVAL& r) {
  m.Reval = r;
}

template <class Self, auto MP, class... A>
TFieldDecl Field(UStringView name, const A&... attrs) {
  using Access = TFieldAccess<Self, MP>;
  using M = typename Access::M;
  TMember m;
  m.Name = UString(name);
  (ApplyAttr(m, attrs), ...);
  m.Get = &Access::Get;
  m.Set = &Access::Set;
  m.GetVar = &Access::GetVar;
  m.SetVar = &Access::SetVar;
  m.VarToJSON = &VarJSON<M>;
  return {std::move(m), &Access::Address};
}

template <class Self, auto G, auto S, class... A>
TPropertyDecl Property(UStringView name, const A&... attrs) {
  using Access = TPropertyAccess<Self, G, S>;
  TMember m;
  m.Name = UString(name);
  m.IsProperty = true;
  (ApplyAttr(m, attrs), ...);
  if constexpr (Access::kGet) {
    m.Get = &Access::Get;
    m.GetVar = &Access::GetVar;
  }
  if constexpr (Access::kSet) {
    m.Set = &Access::Set;
    m.SetVar = &Access::SetVar;
  }
  m.VarToJSON = &VarJSON<typename Access::M>;
  return {std::move(m)};
}

template <class P>
P ArgAs(const TVariant& v) {
  P p{};
  if (!TKind<P>::FromVariant(p, v)) throw EInvalidCast();
  return p;
}

template <class Self>
TOwned Own(std::unique_ptr<Self> p) {
  return TOwned(p.release(), [](void* q) { delete static_cast<Self*>(q); });
}

template <class Self, class... P>
TConstructorDecl Constructor(UStringView name) {
  TConstructorInfo c;
  c.Name = UString(name);
  c.ParamCount = static_cast<int>(sizeof...(P));
  c.Invoke = [](const TArgs& args) -> TOwned {
    if (args.size() != sizeof...(P)) throw EJSONError(u"Parameter count mismatch");
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return Own(std::make_unique<Self>(ArgAs<P>(args[I])...));
    }
    (std::index_sequence_for<P...>{});
  };
  return {std::move(c)};
}

inline TClassAttrDecl ClassAttr(DISABLE d) {
  return {std::move(d)};
}

// Field count of an aggregate: the largest N for which T{x1, ..., xN} compiles.
struct TAnyField {
  template <class U>
  operator U() const;  // NOLINT: converts to every member type, never called
};
template <class T, class... A>
consteval std::size_t AggregateFieldCount() {
  if constexpr (requires { T{A{}..., TAnyField{}}; }) {
    return AggregateFieldCount<T, A..., TAnyField>();
  } else {
    return sizeof...(A);
  }
}

template <class... E>
inline constexpr std::size_t kFieldDecls = (std::size_t{0} + ... + (std::is_same_v<E, TFieldDecl> ? 1 : 0));

void AddEntry(TTypeInfo& t, TFieldDecl&& e);
void AddEntry(TTypeInfo& t, TPropertyDecl&& e);
void AddEntry(TTypeInfo& t, TConstructorDecl&& e);
void AddEntry(TTypeInfo& t, TClassAttrDecl&& e);
// Raises std::logic_error when the fields of a record are not listed in declaration order.
void CheckFieldOrder(const TTypeInfo& t, std::span<const void* const> addresses);

template <class Self>
void AddImplicitCreate(TTypeInfo& t) {
  if constexpr (std::is_default_constructible_v<Self>) {
    const bool has = std::any_of(t.Constructors.begin(), t.Constructors.end(),
                                 [](const TConstructorInfo& c) { return SameTextAscii(c.Name, u"Create"); });
    if (!has) t.Constructors.push_back(Constructor<Self>(u"Create").Constructor);
  }
}

template <class Self, class... E>
TTypeInfo Record(UStringView name, E&&... entries) {
  static_assert(std::is_aggregate_v<Self>, "VX_RECORD describes aggregates; use VX_CLASS for classes");
  static_assert(kFieldDecls<std::remove_cvref_t<E>...> == AggregateFieldCount<Self>(),
                "the description must list every field of the record");
  TTypeInfo t;
  t.Name = UString(name);
  std::vector<const void*> addresses;
  if constexpr (std::is_default_constructible_v<Self>) {
    const Self sample{};
    auto note = [&](const auto& e) {
      if constexpr (std::is_same_v<std::remove_cvref_t<decltype(e)>, TFieldDecl>) {
        addresses.push_back(e.Address(&sample));
      }
    };
    (note(entries), ...);
    CheckFieldOrder(t, addresses);
  }
  (AddEntry(t, std::move(entries)), ...);
  t.Finish();
  return t;
}

template <class Self, class Base, class... E>
TTypeInfo Class(UStringView name, E&&... entries) {
  TTypeInfo t;
  t.Name = UString(name);
  t.IsClass = true;
  if constexpr (!std::is_void_v<Base>) {
    static_assert(std::is_base_of_v<Base, Self>);
    t.Base = &TypeInfoOf<Base>();
    t.ToBase = [](const void* p) -> const void* {
      return static_cast<const Base*>(static_cast<const Self*>(p));
    };
  }
  (AddEntry(t, std::move(entries)), ...);
  AddImplicitCreate<Self>(t);
  t.Finish();
  return t;
}

template <class T>
TTypeInfo GenericList(UStringView name, TArgs createArgs) {
  TTypeInfo t;
  t.IsClass = true;
  t.Name = UString(name);
  TGenericsInfo g;
  if constexpr (Described<T>) g.Typ = &TypeInfoOf<T>();
  g.CreateArgs = std::move(createArgs);
  t.Generics = std::move(g);
  return t;
}
}  // namespace rtti

// Descriptions of the library's own classes.
const TTypeInfo& VxTypeInfo(const TMemoryStream*);

template <class T>
const TTypeInfo& VxTypeInfo(const TList<T>*) {
  static const TTypeInfo info = [] {
    TTypeInfo t = rtti::GenericList<T>(u"TList<>", {});
    t.Constructors.push_back(rtti::Constructor<TList<T>>(u"Create").Constructor);
    return t;
  }();
  return info;
}

template <class T>
const TTypeInfo& VxTypeInfo(const TObjectList<T>*) {
  static const TTypeInfo info = [] {
    TTypeInfo t = rtti::GenericList<T>(u"TObjectList<>", {TVariant::Boolean(true)});
    t.Constructors.push_back(rtti::Constructor<TObjectList<T>, bool>(u"Create").Constructor);
    return t;
  }();
  return info;
}

}  // namespace vx::json

// ---- Description macros ----

// A field: VX_FIELD(Name, attributes...) with Alias(u"..."), DISABLE(), DISABLEREAD(),
// DISABLEWRITE(), REVAL(eq[, new]).
#define VX_FIELD(name, ...) ::vx::json::rtti::Field<Self, &Self::name>(u"" #name __VA_OPT__(, ) __VA_ARGS__)
// A property with getter and setter (member functions of the type).
#define VX_PROPERTY(name, getter, setter, ...) \
  ::vx::json::rtti::Property<Self, &Self::getter, &Self::setter>(u"" #name __VA_OPT__(, ) __VA_ARGS__)
#define VX_PROPERTY_R(name, getter, ...) \
  ::vx::json::rtti::Property<Self, &Self::getter, nullptr>(u"" #name __VA_OPT__(, ) __VA_ARGS__)
#define VX_PROPERTY_W(name, setter, ...) \
  ::vx::json::rtti::Property<Self, nullptr, &Self::setter>(u"" #name __VA_OPT__(, ) __VA_ARGS__)
// The constructor "Create" with these parameter types, or one of another name.
#define VX_CREATE(...) ::vx::json::rtti::Constructor<Self __VA_OPT__(, ) __VA_ARGS__>(u"Create")
#define VX_CONSTRUCTOR(name, ...) ::vx::json::rtti::Constructor<Self __VA_OPT__(, ) __VA_ARGS__>(u"" #name)
// A class-level attribute: VX_CLASS_ATTR(DISABLE(u"A; B")).
#define VX_CLASS_ATTR(attr) ::vx::json::rtti::ClassAttr(attr)

#define VX_DETAIL_DESCRIBE(T, make, ...)                                                             \
  [[maybe_unused]] inline const ::vx::json::TTypeInfo& VxTypeInfo(const T*) {                        \
    using Self = T;                                                                                  \
    using ::vx::json::Alias, ::vx::json::DISABLE, ::vx::json::DISABLEREAD, ::vx::json::DISABLEWRITE, \
        ::vx::json::REVAL;                                                                           \
    static const ::vx::json::TTypeInfo info = make(u"" #T __VA_OPT__(, ) __VA_ARGS__);               \
    return info;                                                                                     \
  }

// A record (an aggregate struct): every field must be listed, in declaration order.
#define VX_RECORD(T, ...) VX_DETAIL_DESCRIBE(T, ::vx::json::rtti::Record<T>, __VA_ARGS__)
// A class without a described base, and one derived from a described class.
#define VX_CLASS(T, ...) VX_DETAIL_DESCRIBE(T, (::vx::json::rtti::Class<T, void>), __VA_ARGS__)
#define VX_CLASS_OF(T, Base, ...) VX_DETAIL_DESCRIBE(T, (::vx::json::rtti::Class<T, Base>), __VA_ARGS__)
