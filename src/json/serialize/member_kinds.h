#pragma once
// The member kinds: how a member of each C++ type becomes JSON and is set from it, and the
// access functions of fields and properties that a description stores.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/ustring.h"
#include "json/model/documents.h"
#include "json/model/errors.h"
#include "json/model/values.h"
#include "json/serialize/type_info.h"

namespace vx::json::rtti {

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
    v = static_cast<M>(static_cast<std::uint64_t>(IntegerOf(j)));
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
    v = static_cast<M>(static_cast<U>(IntegerOf(j)));
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
  static void FromJSON(bool& v, const TJSONAncestor& j, bool) { v = BooleanOf(j); }
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
  static void FromJSON(M& v, const TJSONAncestor& j, bool) { v = static_cast<M>(DoubleOf(j)); }
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
  static IJSONAncestor ToJSON(M v) { return NewDate(Kind, v.Value); }
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
  static void FromJSON(UString& v, const TJSONAncestor& j, bool checkDate) { v = StringOf(j, checkDate); }
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
    v = UToAnsi(StringOf(j, checkDate));
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
    const UString s = StringOf(j, checkDate);
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
    const std::string s = UToAnsi(StringOf(j, checkDate));
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
  static IJSONAncestor ToJSON(const TVariant& v) { return ValueOfVariant(v); }
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
    v.Write(BytesOfBase64(StringOf(j, checkDate)));
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

}  // namespace vx::json::rtti
