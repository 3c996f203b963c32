#pragma once
// What a static type description holds: the attributes, the members with their access
// functions, constructors, and the type itself (descriptions.h builds them).
#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "core/ustring.h"
#include "json/model/values.h"
#include "json/model/variant.h"
#include "json/serialize/member_types.h"

namespace vx::json {

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

// An array and a date-time of a present, non-null value, by the getters' rules.
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
}  // namespace rtti
}  // namespace vx::json
