#pragma once
// Value types of member kinds beyond the standard ones: date kinds, sets of ordinals, a byte
// stream and the generic lists.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

#include "json/model/values.h"
#include "json/model/variant.h"

namespace vx::json {

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

// Generic list that owns its objects (the flag, the construction argument the serializer
// passes, is taken for that: the items are unique_ptrs).
template <class T>
class TObjectList {
 public:
  explicit TObjectList(bool /*AOwnsObjects*/ = true) {}
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;
  void Add(std::unique_ptr<T> item) { FItems.push_back(std::move(item)); }
  [[nodiscard]] int Count() const noexcept { return static_cast<int>(FItems.size()); }
  [[nodiscard]] T& Items(int i) const { return *FItems.at(static_cast<std::size_t>(i)); }
  void Clear() noexcept { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<T>> FItems;
};

}  // namespace vx::json
