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
#include <cstdint>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/ustring.h"
#include "json/model/errors.h"
#include "json/serialize/member_kinds.h"
#include "json/serialize/member_types.h"
#include "json/serialize/type_info.h"

namespace vx::json {

namespace rtti {

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
                                 [](const TConstructorInfo& c) { return EqualNoCase(c.Name, u"Create"); });
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
