#pragma once
// The text of a string value (16 bytes) or of a member name (12 bytes). A text whose units are
// all below U+0100 (most texts: ASCII, and Latin letters of western languages) keeps one byte per
// unit, any other two (UTF-16). Short texts sit inside the object (a string's up to twelve narrow
// or six wide units, a name's up to eight or four), longer ones in one block of exactly their
// size (no capacity, no terminator) from the node pool, so that a tree of many short strings
// needs no heap allocation per string.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "core/ustring.h"
#include "json/node_pool.h"

namespace vx::json {

// The code of a unit held as a byte (below U+0100) or as UTF-16.
[[nodiscard]] constexpr char16_t UnitCode(char c) noexcept {
  return static_cast<unsigned char>(c);
}
[[nodiscard]] constexpr char16_t UnitCode(char16_t c) noexcept {
  return c;
}
// The units of a view of bytes (codes below U+0100) or of UTF-16 units, as UTF-16 text.
template <class Units>
[[nodiscard]] UString Widen(Units units) {
  UString text(units.size(), u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) text[i] = UnitCode(units[i]);
  return text;
}

// InlineBytes: the room inside the object, which holds a block's address when the text is longer.
template <std::size_t InlineBytes>
class alignas(InlineBytes >= 12 ? 8 : 4) TCompactText {
  static_assert(InlineBytes == 8 || InlineBytes == 12);

 public:
  TCompactText() noexcept = default;
  explicit TCompactText(UStringView text) {
    bool narrow = true;
    for (const char16_t c : text) narrow = narrow && c < 0x100;
    char* units = Reserve(text.size(), !narrow);
    if (narrow) {
      for (const char16_t c : text) *units++ = static_cast<char>(c);
    } else if (!text.empty()) {
      std::memcpy(units, text.data(), text.size() * sizeof(char16_t));
    }
  }
  // A text given as bytes, each the code of a unit below U+0100 (ASCII text of a UTF-8 document
  // reads so unchanged).
  [[nodiscard]] static TCompactText Latin1(std::string_view units) {
    TCompactText text;
    char* data = text.Reserve(units.size(), false);
    if (!units.empty()) std::memcpy(data, units.data(), units.size());
    return text;
  }
  TCompactText(const TCompactText& other) : TCompactText(other, 0) {}
  // The same units in the other size of text.
  template <std::size_t Other>
  explicit TCompactText(const TCompactText<Other>& other) : TCompactText(other, 0) {}
  TCompactText(TCompactText&& other) noexcept : FSize(std::exchange(other.FSize, 0)) {
    std::memcpy(FBytes, other.FBytes, sizeof FBytes);
  }
  TCompactText& operator=(TCompactText other) noexcept {
    std::swap(FSize, other.FSize);
    char bytes[sizeof FBytes];
    std::memcpy(bytes, FBytes, sizeof bytes);
    std::memcpy(FBytes, other.FBytes, sizeof bytes);
    std::memcpy(other.FBytes, bytes, sizeof bytes);
    return *this;
  }
  ~TCompactText() {
    if (!Inline()) TNodePool::FreeBlock(const_cast<char*>(Bytes()), ByteCount());
  }

  [[nodiscard]] std::size_t Size() const noexcept { return FSize & kSizeMask; }
  // Whether the units are kept as UTF-16 (else one byte each).
  [[nodiscard]] bool Wide() const noexcept { return (FSize & kWide) != 0; }
  // Calls f with the units: a UStringView when wide, a std::string_view of unit codes when narrow.
  template <class F>
  decltype(auto) Visit(F&& f) const {
    if (Wide()) return f(UStringView(reinterpret_cast<const char16_t*>(Bytes()), Size()));
    return f(std::string_view(Bytes(), Size()));
  }
  [[nodiscard]] UString Str() const {
    return Visit([](auto units) { return Widen(units); });
  }
  [[nodiscard]] std::size_t Find(char16_t c) const noexcept {
    return Visit([c](auto units) {
      for (std::size_t i = 0; i < units.size(); ++i) {
        if (UnitCode(units[i]) == c) return i;
      }
      return UStringView::npos;
    });
  }

 private:
  static constexpr std::uint32_t kWide = 0x80000000u;
  static constexpr std::uint32_t kSizeMask = ~kWide;
  template <std::size_t>
  friend class TCompactText;
  // Where a block's address is kept: the 8-byte aligned part of the inline room, if it has one.
  static constexpr std::size_t kPointerAt = InlineBytes >= 12 ? 4 : 0;

  template <std::size_t Other>
  TCompactText(const TCompactText<Other>& other, int) {
    char* units = Reserve(other.Size(), other.Wide());
    if (other.Size() != 0) std::memcpy(units, other.Bytes(), other.ByteCount());
  }

  [[nodiscard]] std::size_t ByteCount() const noexcept { return Size() << (Wide() ? 1 : 0); }
  [[nodiscard]] bool Inline() const noexcept { return ByteCount() <= InlineBytes; }
  [[nodiscard]] const char* Bytes() const noexcept {
    if (Inline()) return FBytes;
    const char* block;
    std::memcpy(&block, FBytes + kPointerAt, sizeof block);
    return block;
  }
  // Sets the size and kind of an empty text and answers where its units go.
  char* Reserve(std::size_t size, bool wide) {
    if (size > kSizeMask) throw std::length_error("text too long for a JSON value");
    FSize = static_cast<std::uint32_t>(size) | (wide ? kWide : 0);
    if (Inline()) return FBytes;
    char* block = static_cast<char*>(TNodePool::AllocateBlock(ByteCount()));
    std::memcpy(FBytes + kPointerAt, &block, sizeof block);
    return block;
  }

  std::uint32_t FSize = 0;
  char FBytes[InlineBytes] = {};
};
using TJSONText = TCompactText<12>;
using TJSONName = TCompactText<8>;
static_assert(sizeof(TJSONText) == 16 && sizeof(TJSONName) == 12);

// Calls f with the units of a text, as TJSONText::Visit does; a view is passed on as it is.
template <std::size_t N, class F>
decltype(auto) VisitUnits(const TCompactText<N>& text, F&& f) {
  return text.Visit(std::forward<F>(f));
}
template <class F>
decltype(auto) VisitUnits(UStringView text, F&& f) {
  return f(text);
}

// Member names compare equal when they differ only in the case of ASCII letters.
template <class A, class B>
[[nodiscard]] bool SameNameUnits(A a, B b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char16_t x = UnitCode(a[i]), y = UnitCode(b[i]);
    if (x != y && AsciiUpper(x) != AsciiUpper(y)) return false;
  }
  return true;
}
template <class A, class B>
[[nodiscard]] bool SameName(const A& a, const B& b) noexcept {
  return VisitUnits(a, [&b](auto x) { return VisitUnits(b, [x](auto y) { return SameNameUnits(x, y); }); });
}

}  // namespace vx::json
