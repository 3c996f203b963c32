#pragma once
// The convenience layer: wrappers that read and write the members of an object by name
// (TDocObject) or the elements of an array by index (TDocArray) with typed getters and setters.
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <type_traits>

#include "core/ustring.h"
#include "json/model/values.h"
#include "json/model/variant.h"

namespace vx::json {

// Status of a member: none, null, or a non-null value.
enum TMemberStatus : std::uint8_t { jUnAssigned, jNull, jAssigned };

class TDocObject;
class TDocArray;
class TCast;
using IDocObject = TRef<TDocObject>;
using IDocArray = TRef<TDocArray>;
using ICast = TRef<TCast>;

class TBase : public TRefCounted {};

// Shared part of both wrappers. T is the wrapped value class, Key the member name or the index.
template <class T, class Key>
class TBaseJSON : public TBase {
 public:
  using TKey = std::conditional_t<std::is_same_v<Key, int>, int, UStringView>;

  [[nodiscard]] IDocObject AsObject() const;
  [[nodiscard]] IDocArray AsArray() const;

  // Getters: a missing member gives the empty value; a null one too for string, integer, double
  // and boolean. A member of another kind raises EInvalidCast.
  [[nodiscard]] bool GetBoolean(TKey key) const;
  [[nodiscard]] std::int64_t GetInteger(TKey key) const;
  [[nodiscard]] UString GetString(TKey key) const;
  [[nodiscard]] double GetDouble(TKey key) const;
  [[nodiscard]] TVariant GetVariant(TKey key) const;
  [[nodiscard]] TDateTime GetDateTime(TKey key) const;
  [[nodiscard]] TDateTime GetDate(TKey key) const;
  [[nodiscard]] TDateTime GetTime(TKey key) const;

  // Setters replace an existing member in place, or add it.
  void SetBoolean(TKey key, bool value);
  void SetInteger(TKey key, std::int64_t value);
  // On a date member of a date-checking wrapper the text must be a date (EJSONInvalidDate).
  void SetString(TKey key, UStringView value);
  void SetDouble(TKey key, double value);
  void SetVariant(TKey key, const TVariant& value);
  void SetDateTime(TKey key, TDateTime value);
  void SetDate(TKey key, TDateTime value);
  void SetTime(TKey key, TDateTime value);

  // The nested object or array, added empty when missing; changes through it change this document.
  [[nodiscard]] IDocObject GetObject(TKey key);
  void SetObject(TKey key, const IDocObject& value);
  [[nodiscard]] IDocArray GetArray(TKey key);
  void SetArray(TKey key, const IDocArray& value);

  [[nodiscard]] const TRef<T>& GetSelf() const noexcept { return FJSON; }
  [[nodiscard]] IJSONAncestor GetAncestor(TKey key) const { return Find(key); }
  [[nodiscard]] TMemberStatus GetNull(TKey key) const;
  virtual void SetNull(TKey key, TMemberStatus status) = 0;
  // Kind of the wrapped value (or of the cast value, when there is one).
  [[nodiscard]] TDataType GetDataType() const;
  [[nodiscard]] bool Contains(TKey key) const { return static_cast<bool>(Find(key)); }
  // Variant type code of a member (13 when missing).
  [[nodiscard]] std::uint16_t GetType(TKey key) const;
  [[nodiscard]] bool GetCheckDate() const noexcept { return FCheckDate; }

  // The document as text; SaveTo writes it in UTF-8 without byte-order mark.
  [[nodiscard]] UString AsJSON(bool Ident = false, bool UniversalTime = false) const;
  [[nodiscard]] std::string AsJSONUtf8(bool Ident = false, bool UniversalTime = false) const;
  void SaveTo(std::ostream& stream, bool Ident = false, bool UniversalTime = false) const;
  // False when the file cannot be written.
  [[nodiscard]] bool SaveTo(const std::filesystem::path& fileName, bool Ident = false,
                            bool UniversalTime = false) const;

 protected:
  TBaseJSON(TRef<T> json, IJSONAncestor castValue, bool checkDate)
      : FJSON(std::move(json)), FCastValue(std::move(castValue)), FCheckDate(checkDate) {}

  // The member's value; nil when missing or without value.
  [[nodiscard]] virtual IJSONAncestor Find(TKey key) const = 0;
  // Stores make()'s value at the key (replacing, or adding as the wrapper's rules say).
  virtual void Put(TKey key, const std::function<IJSONAncestor()>& make) = 0;

  TRef<T> FJSON;
  IJSONAncestor FCastValue;
  bool FCheckDate;
};

class TDocObject final : public TBaseJSON<TJSONObject, UString> {
 public:
  // Parses the text; a value of another kind becomes the cast value; no value gives an empty object.
  TDocObject(UStringView text, bool CheckDate);
  TDocObject(IJSONObject json, bool CheckDate);
  TDocObject(IJSONAncestor value, bool CheckDate);

  void SetNull(UStringView key, TMemberStatus status) override;

  // Enumeration of the members.
  void First() noexcept { FOffset = 0; }
  void Next() noexcept { ++FOffset; }
  [[nodiscard]] bool GetEoF() const noexcept { return FOffset >= GetCount(); }
  [[nodiscard]] int GetCount() const noexcept { return FJSON->Count(); }
  [[nodiscard]] int GetOffset() const noexcept { return FOffset; }
  [[nodiscard]] UString GetCurrentKey() const;
  [[nodiscard]] IJSONAncestor GetCurrentValue() const;

  void Add(UString name, IJSONAncestor value) { FJSON->AddPair(std::move(name), std::move(value)); }
  // Stores a variant by its type: null, integers, double, boolean, strings, and dates as text;
  // other types store nothing.
  void SetData(UStringView name, const TVariant& value);
  void Remove(UStringView name) { FJSON->Remove(name); }
  void Sort(const TJSONObject::TComparison& comparison) { FJSON->Sort(comparison); }
  [[nodiscard]] IDocObject Clone() const;

 protected:
  [[nodiscard]] IJSONAncestor Find(UStringView key) const override;
  void Put(UStringView key, const std::function<IJSONAncestor()>& make) override;

 private:
  int FOffset = 0;
};

class TDocArray final : public TBaseJSON<TJSONArray, int> {
 public:
  // Parses the text ("{}" counts as "[]"); a value of another kind becomes the cast value; no
  // value gives an empty array.
  TDocArray(UStringView text, bool CheckDate);
  TDocArray(IJSONArray json, bool CheckDate);
  TDocArray(IJSONAncestor value, bool CheckDate);

  void SetNull(int key, TMemberStatus status) override;

  [[nodiscard]] int GetLength() const noexcept { return FJSON->Count(); }
  void Add(IJSONAncestor value) { FJSON->Add(std::move(value)); }
  void Add(const IDocArray& value);
  void Add(const IDocObject& value);
  // Appends by the variant's type as TDocObject::SetData stores it.
  void Add(const TVariant& value);
  void Delete(int index) { FJSON->Remove(index); }
  void Clear() noexcept { FJSON->Clear(); }
  void Sort(const TJSONArray::TComparison& comparison) { FJSON->Sort(comparison); }
  [[nodiscard]] IDocArray Clone() const;

 protected:
  [[nodiscard]] IJSONAncestor Find(int key) const override;
  void Put(int key, const std::function<IJSONAncestor()>& make) override;
};

// One value, or one pair, with typed access to it.
class TCast final : public TBase {
 public:
  explicit TCast(IJSONAncestor value) : FValue(std::move(value)) {}
  explicit TCast(IJSONPair pair) : FPair(std::move(pair)) {}

  [[nodiscard]] IJSONAncestor GetValue() const { return FPair ? FPair->GetValue() : FValue; }
  // The kind of the value; dtNil when there is none.
  [[nodiscard]] TDataType GetDataType() const { return GetValue() ? GetValue()->GetDataType() : dtNil; }
  [[nodiscard]] bool GetIsNull() const;
  [[nodiscard]] UString GetString() const;
  [[nodiscard]] std::int64_t GetInteger() const;
  [[nodiscard]] double GetDouble() const;
  [[nodiscard]] bool GetBoolean() const;
  [[nodiscard]] TDateTime GetDateTime() const;
  // On a pair the value is replaced; on a lone value only one of the same kind can be changed
  // (EInvalidCast otherwise).
  void SetString(UStringView value);
  void SetInteger(std::int64_t value);
  void SetDouble(double value);
  void SetBoolean(bool value);

 private:
  template <class V, class P>
  void Set(P value);
  IJSONAncestor FValue;
  IJSONPair FPair;
};

// The value SetData stores for a variant: null, integers, double, boolean, strings, and dates as
// text; nil for the other types, which store nothing.
[[nodiscard]] IJSONAncestor ValueOfVariant(const TVariant& v);

// Parse with date checking on; an empty text counts as "{}" for JO; "{}" counts as "[]" for JA.
[[nodiscard]] IDocObject JO(UStringView text = u"{}");
[[nodiscard]] IDocArray JA(UStringView text = u"[]");

extern template class TBaseJSON<TJSONObject, UString>;
extern template class TBaseJSON<TJSONArray, int>;

}  // namespace vx::json
