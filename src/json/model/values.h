#pragma once
// The value tree: reference-counted values of the JSON kinds, objects of name/value pairs and
// arrays. Values are handed out as TRef handles (IJSON... names); a value may have several parents.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/ustring.h"
#include "json/model/compact_text.h"
#include "json/model/node_pool.h"
#include "json/model/ref.h"
#include "json/model/variant.h"

namespace vx::json {

// Kinds of values, in the order callers rely on (ordinals 0..10).
enum TDataType : std::uint8_t {
  dtNil,
  dtNull,
  dtObject,
  dtArray,
  dtString,
  dtInteger,
  dtFloat,
  dtBoolean,
  dtDateTime,
  dtDate,
  dtTime
};

class TJSONWriter;
class TNameIndex;
struct TTreeWalk;
class TJSONAncestor;
class TJSONPair;
class TJSONObject;
class TJSONArray;

using IJSONAncestor = TRef<TJSONAncestor>;
using IJSONPair = TRef<TJSONPair>;
using IJSONObject = TRef<TJSONObject>;
using IJSONArray = TRef<TJSONArray>;

// What a value holds beneath it, for the walks over a tree (write, clone, release, cycle check),
// which keep their own work lists instead of recursing: trees built through the API may be of
// any depth.
enum class TNodeShape : std::uint8_t { Leaf, Object, Array };

// Tag for constructing a value as null ("created as a null value").
struct TNullValue {};
inline constexpr TNullValue kNullValue{};

// The formats date-time, date and time values are written with.
inline constexpr char16_t kDateTimeFormat[] = u"yyyy-mm-dd\"T\"hh\":\"mm\":\"ss.zzz";
inline constexpr char16_t kDateFormat[] = u"yyyy-mm-dd";
inline constexpr char16_t kTimeFormat[] = u"hh\":\"mm\":\"ss.zzz";
[[nodiscard]] constexpr UStringView DateFormat(TDataType kind) {
  return kind == dtDateTime ? kDateTimeFormat : kind == dtDate ? kDateFormat : kTimeFormat;
}

class TJSONAncestor : public TRefCounted {
 public:
  VX_JSON_POOLED_NODE
  [[nodiscard]] virtual TVariant GetAsVariant() const { return TVariant::Null(); }
  virtual void SetAsVariant(const TVariant& value);
  // Raises EJSONError "Unknown JSON Type" for a class that is none of the kinds.
  [[nodiscard]] virtual TDataType GetDataType() const;
  // A plain ancestor is null only when it is a TJSONNull.
  [[nodiscard]] virtual bool GetIsNull() const { return false; }
  virtual void AsJSONString(TJSONWriter& writer) const;
  // Deep copy: containers copy their members, nothing is shared with the original.
  [[nodiscard]] virtual IJSONAncestor Clone() const;
  [[nodiscard]] TNodeShape Shape() const noexcept { return FShape; }

 protected:
  bool FNull = false;
  TNodeShape FShape = TNodeShape::Leaf;
};

template <class T>
class TJSONValue : public TJSONAncestor {
 public:
  TJSONValue() = default;
  explicit TJSONValue(T value) : FData(std::move(value)) {}
  explicit TJSONValue(TNullValue) { FNull = true; }

  [[nodiscard]] const T& GetData() const noexcept { return FData; }
  void SetData(T value) {
    FData = std::move(value);
    FNull = false;
  }
  void SetNull() noexcept { FNull = true; }
  [[nodiscard]] bool GetIsNull() const override { return FNull; }

 protected:
  T FData{};
};

// The text is kept compactly (see TJSONText); GetData hands out a copy, Text the text itself.
class TJSONString final : public TJSONValue<TJSONText> {
 public:
  explicit TJSONString(UStringView text) { FData.Assign(text); }
  explicit TJSONString(TJSONText text) noexcept : TJSONValue(std::move(text)) {}
  explicit TJSONString(TNullValue) : TJSONValue(kNullValue) {}
  [[nodiscard]] UString GetData() const { return FData.Str(); }
  [[nodiscard]] const TJSONText& Text() const noexcept { return FData; }
  void SetData(UStringView text) {
    FData.Assign(text);
    FNull = false;
  }
  [[nodiscard]] TVariant GetAsVariant() const override;
  void SetAsVariant(const TVariant& value) override;
  [[nodiscard]] TDataType GetDataType() const override { return dtString; }
  void AsJSONString(TJSONWriter& writer) const override;
  [[nodiscard]] IJSONAncestor Clone() const override;
};

class TJSONInteger final : public TJSONValue<std::int64_t> {
 public:
  using TJSONValue::TJSONValue;
  [[nodiscard]] TVariant GetAsVariant() const override;
  void SetAsVariant(const TVariant& value) override;
  [[nodiscard]] TDataType GetDataType() const override { return dtInteger; }
  void AsJSONString(TJSONWriter& writer) const override;
  [[nodiscard]] IJSONAncestor Clone() const override;
};

class TJSONFloat final : public TJSONValue<double> {
 public:
  using TJSONValue::TJSONValue;
  [[nodiscard]] TVariant GetAsVariant() const override;
  void SetAsVariant(const TVariant& value) override;
  [[nodiscard]] TDataType GetDataType() const override { return dtFloat; }
  void AsJSONString(TJSONWriter& writer) const override;
  [[nodiscard]] IJSONAncestor Clone() const override;
};

class TJSONBoolean final : public TJSONValue<bool> {
 public:
  using TJSONValue::TJSONValue;
  [[nodiscard]] TVariant GetAsVariant() const override;
  void SetAsVariant(const TVariant& value) override;
  [[nodiscard]] TDataType GetDataType() const override { return dtBoolean; }
  void AsJSONString(TJSONWriter& writer) const override;
  [[nodiscard]] IJSONAncestor Clone() const override;
};

class TJSONNull final : public TJSONValue<bool> {
 public:
  TJSONNull() { FNull = true; }
  [[nodiscard]] TDataType GetDataType() const override { return dtNull; }
  [[nodiscard]] bool GetIsNull() const override { return true; }
  void AsJSONString(TJSONWriter& writer) const override;
  [[nodiscard]] IJSONAncestor Clone() const override;
};

// Date-time, date and time values: a date-time payload, written with the kind's format.
template <TDataType Kind>
class TJSONBaseDate : public TJSONValue<TDateTime> {
 public:
  explicit TJSONBaseDate(TDateTime value) : TJSONValue(value) {}

  // The format the value is written with: the kind's.
  [[nodiscard]] static UStringView GetFormat() { return DateFormat(Kind); }

  [[nodiscard]] TVariant GetAsVariant() const override;
  void SetAsVariant(const TVariant& value) override;
  [[nodiscard]] TDataType GetDataType() const override { return Kind; }
  void AsJSONString(TJSONWriter& writer) const override;
  [[nodiscard]] IJSONAncestor Clone() const override;
};

class TJSONDateTime final : public TJSONBaseDate<dtDateTime> {
 public:
  using TJSONBaseDate::TJSONBaseDate;
};
class TJSONDate final : public TJSONBaseDate<dtDate> {
 public:
  using TJSONBaseDate::TJSONBaseDate;
};
class TJSONTime final : public TJSONBaseDate<dtTime> {
 public:
  using TJSONBaseDate::TJSONBaseDate;
};

// A member of an object: a name and a value reference (the value may be nil: such a member
// counts as absent when written or read through the wrappers).
// Pairs are counted like values but carry no virtual table: nothing derives from them.
class TJSONPair final : public TCounted<TJSONPair> {
 public:
  VX_JSON_POOLED_NODE
  TJSONPair(UStringView name, IJSONAncestor value) : FName(name), FValue(std::move(value)) {}
  TJSONPair(TJSONName name, IJSONAncestor value) noexcept
      : FName(std::move(name)), FValue(std::move(value)) {}

  // The name as a copy, and the pair's own text of it.
  [[nodiscard]] UString GetName() const { return FName.Str(); }
  [[nodiscard]] const TJSONName& Name() const noexcept { return FName; }
  [[nodiscard]] const IJSONAncestor& GetValue() const noexcept { return FValue; }
  void SetName(UStringView name) { FName = TJSONName(name); }
  // Raises EJSONError when the value holds this pair (a tree never contains itself).
  void SetValue(IJSONAncestor value);

 private:
  friend struct TTreeWalk;
  TJSONName FName;
  IJSONAncestor FValue;
};
static_assert(sizeof(TJSONPair) <= 24 || sizeof(void*) < 8);

using TJSONPairList = std::vector<IJSONPair, TPoolAllocator<IJSONPair>>;
using TJSONValueList = std::vector<IJSONAncestor, TPoolAllocator<IJSONAncestor>>;

// Adding a member that holds the container it is added to raises EJSONError, in every
// operation that adds or replaces one: a tree never contains itself. (Only containers that some
// other container holds are searched; a caller works on a container through a counted reference.)
class TJSONObject final : public TJSONValue<TJSONPairList> {
 public:
  using TComparison = std::function<int(const IJSONPair&, const IJSONPair&)>;
  TJSONObject();
  // The pairs' names must differ (the reader's builder hands over such lists).
  explicit TJSONObject(TJSONPairList pairs);
  explicit TJSONObject(TNullValue);
  ~TJSONObject() override;
  void SetData(TJSONPairList pairs);

  [[nodiscard]] TDataType GetDataType() const override { return dtObject; }
  void AsJSONString(TJSONWriter& writer) const override;
  [[nodiscard]] IJSONAncestor Clone() const override;

  [[nodiscard]] int Count() const noexcept { return static_cast<int>(FData.size()); }
  [[nodiscard]] IJSONPair Get(UStringView name) const;
  [[nodiscard]] IJSONPair Get(int index) const;
  [[nodiscard]] int IndexOf(UStringView name) const noexcept;
  // A pair whose name is already present replaces the old one, which leaves its position:
  // the new pair is appended at the end.
  void AddPair(IJSONPair pair);
  void AddPair(UString name, IJSONAncestor value);
  void Remove(const IJSONPair& pair);
  void Remove(UStringView name);
  void Remove(int index);
  void Sort(const TComparison& comparison);

  [[nodiscard]] TJSONPairList::const_iterator begin() const noexcept { return FData.begin(); }
  [[nodiscard]] TJSONPairList::const_iterator end() const noexcept { return FData.end(); }

  // Reads JSON text (UTF-16, or UTF-8 for the second form); nil when it holds no value.
  [[nodiscard]] static IJSONAncestor ParseJSONValue(UStringView text, bool CheckDate);
  [[nodiscard]] static IJSONAncestor ParseJSONValueUtf8(std::string_view text, bool CheckDate);

 private:
  friend struct TTreeWalk;
  // The position of a name given as a view or as a member's text; -1 when absent.
  template <class Name>
  [[nodiscard]] int Position(const Name& name) const noexcept;
  void Erase(std::size_t pos);
  // Names of a large object, built at its first lookup by name and kept up to date afterwards.
  mutable std::unique_ptr<TNameIndex> FIndex;
};

class TJSONArray final : public TJSONValue<TJSONValueList> {
 public:
  using TComparison = std::function<int(const IJSONAncestor&, const IJSONAncestor&)>;
  TJSONArray() { FShape = TNodeShape::Array; }
  explicit TJSONArray(TJSONValueList values) : TJSONValue(std::move(values)) { FShape = TNodeShape::Array; }
  explicit TJSONArray(TNullValue) : TJSONValue(kNullValue) { FShape = TNodeShape::Array; }
  ~TJSONArray() override;
  void SetData(TJSONValueList values);

  [[nodiscard]] TDataType GetDataType() const override { return dtArray; }
  void AsJSONString(TJSONWriter& writer) const override;
  [[nodiscard]] IJSONAncestor Clone() const override;

  void Add(IJSONAncestor value);
  // Removes the first element that is this very value object.
  void Remove(const IJSONAncestor& value);
  // Raises EArgumentOutOfRange for an index outside the array.
  void Remove(int index);
  void Clear() noexcept { FData.clear(); }
  [[nodiscard]] int Count() const noexcept { return static_cast<int>(FData.size()); }
  [[nodiscard]] IJSONAncestor Get(int index) const;
  // Replaces an existing element; an index outside the array changes nothing.
  void SetIndex(int index, IJSONAncestor value);
  void Sort(const TComparison& comparison);

  [[nodiscard]] TJSONValueList::const_iterator begin() const noexcept { return FData.begin(); }
  [[nodiscard]] TJSONValueList::const_iterator end() const noexcept { return FData.end(); }

 private:
  friend struct TTreeWalk;
};

// A new date-time, date or time value (kind dtDateTime, dtDate or dtTime).
[[nodiscard]] IJSONAncestor NewDate(TDataType kind, TDateTime value);

// The getters' type rules on a present, non-null value: each accepts only its own kind (the
// double getter also an integer, the string getter also the date kinds when dates are checked)
// and raises EInvalidCast on any other.
[[nodiscard]] std::int64_t IntegerOf(const TJSONAncestor& j);
[[nodiscard]] double DoubleOf(const TJSONAncestor& j);
[[nodiscard]] bool BooleanOf(const TJSONAncestor& j);
[[nodiscard]] UString StringOf(const TJSONAncestor& j, bool checkDate);

// The text parser entry under its second name.
struct TJSONTextParser {
  [[nodiscard]] static IJSONAncestor ParseJSON(UStringView text, bool CheckDate) {
    return TJSONObject::ParseJSONValue(text, CheckDate);
  }
};

}  // namespace vx::json
