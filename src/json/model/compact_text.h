#pragma once
// The text of a string value (16 bytes) or of a member name (12 bytes). A text whose units are
// all below U+0100 (most texts: ASCII, and Latin letters of western languages) keeps one byte per
// unit, any other two (UTF-16). Short texts sit inside the object (a string's up to fifteen
// narrow or seven wide units, a name's up to eleven or five), longer ones in one block of exactly
// their size (no capacity, no terminator) from the node pool, so that a tree of many short
// strings needs no heap allocation per string.
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "core/ustring.h"
#include "json/model/node_pool.h"

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

// Bytes: the object's size. The first byte tells how the units are kept: their count and kind
// when they sit in the other bytes (UTF-16 units from the second of them, at an even offset), or
// kOutOfLine when a block holds them: the block's address is kept in the last bytes, and the
// block starts with the units' count and kind.
template <std::size_t Bytes>
class alignas(Bytes >= 16 ? 8 : 4) TCompactText {
  static_assert(Bytes == 12 || Bytes == 16);

 public:
  TCompactText() noexcept = default;
  explicit TCompactText(UStringView text) { Fill(text); }
  // The same as assigning TCompactText(text), made in place: a text just made and then moved
  // would be read back before its bytes have settled. (Units of this very text are copied first.)
  void Assign(UStringView text) {
    if (Holds(text.data())) {
      *this = TCompactText(text);
      return;
    }
    Clear();
    Fill(text);
  }
  TCompactText(const TCompactText& other) {
    char* units = Reserve(other.Size(), other.Wide());
    if (other.Size() != 0) std::memcpy(units, other.Units(), other.ByteCount());
  }
  TCompactText(TCompactText&& other) noexcept : FTag(std::exchange(other.FTag, 0)) {
    std::memcpy(FRoom, other.FRoom, sizeof FRoom);
  }
  TCompactText& operator=(TCompactText other) noexcept {
    std::swap(FTag, other.FTag);
    char room[sizeof FRoom];
    std::memcpy(room, FRoom, sizeof room);
    std::memcpy(FRoom, other.FRoom, sizeof room);
    std::memcpy(other.FRoom, room, sizeof room);
    return *this;
  }
  ~TCompactText() { Clear(); }

  [[nodiscard]] std::size_t Size() const noexcept {
    return Inline() ? FTag & kCountMask : Count() & kSizeMask;
  }
  // Whether the units are kept as UTF-16 (else one byte each).
  [[nodiscard]] bool Wide() const noexcept {
    return Inline() ? (FTag & kWideTag) != 0 : (Count() & kWide) != 0;
  }
  // Calls f with the units: a UStringView when wide, a std::string_view of unit codes when narrow.
  template <class F>
  decltype(auto) Visit(F&& f) const {
    if (Wide()) return f(UStringView(reinterpret_cast<const char16_t*>(Units()), Size()));
    return f(std::string_view(Units(), Size()));
  }
  [[nodiscard]] UString Str() const {
    return Visit([](auto units) { return Widen(units); });
  }

 private:
  static constexpr std::uint8_t kOutOfLine = 0xFF;
  static constexpr std::uint8_t kWideTag = 0x80;
  static constexpr std::uint8_t kCountMask = 0x7F;
  static constexpr std::uint32_t kWide = 0x80000000u;
  static constexpr std::uint32_t kSizeMask = ~kWide;
  static constexpr std::size_t kPointerAt = Bytes - 8 - 1;  // in FRoom
  static constexpr std::size_t kCountSize = sizeof(std::uint32_t);
  static constexpr std::size_t kWideAt = 1;  // in FRoom: UTF-16 units kept inside start at an even offset

  [[nodiscard]] bool Inline() const noexcept { return FTag != kOutOfLine; }
  [[nodiscard]] bool Holds(const void* p) const noexcept {
    const std::less<const void*> before;
    const char* units = Units();
    return !before(p, units) && before(p, units + ByteCount());
  }
  void Clear() noexcept {
    if (!Inline()) TNodePool::Free(Block(), kCountSize + ByteCount());
    FTag = 0;
  }
  void Fill(UStringView text) {
    char16_t bits = 0;
    for (const char16_t c : text) bits |= c;
    const bool narrow = bits < 0x100;
    char* units = Reserve(text.size(), !narrow);
    if (narrow) {
      for (const char16_t c : text) *units++ = static_cast<char>(c);
    } else if (!text.empty()) {
      std::memcpy(units, text.data(), text.size() * sizeof(char16_t));
    }
  }

  [[nodiscard]] std::size_t ByteCount() const noexcept { return Size() << (Wide() ? 1 : 0); }
  [[nodiscard]] char* Block() const noexcept {
    char* block;
    std::memcpy(&block, FRoom + kPointerAt, sizeof block);
    return block;
  }
  // The count and kind of a block's units.
  [[nodiscard]] std::uint32_t Count() const noexcept {
    std::uint32_t count;
    std::memcpy(&count, Block(), sizeof count);
    return count;
  }
  [[nodiscard]] const char* Units() const noexcept {
    if (Inline()) return FRoom + ((FTag & kWideTag) != 0 ? kWideAt : 0);
    return Block() + kCountSize;
  }
  // Sets the size and kind of a cleared text and answers where its units go.
  char* Reserve(std::size_t size, bool wide) {
    const std::size_t bytes = size << (wide ? 1 : 0);
    const std::size_t at = wide ? kWideAt : 0;
    if (at + bytes <= sizeof FRoom) {
      FTag = static_cast<std::uint8_t>(size | (wide ? kWideTag : 0));
      return FRoom + at;
    }
    if (size > kSizeMask) throw std::length_error("text too long for a JSON value");
    const std::uint32_t count = static_cast<std::uint32_t>(size) | (wide ? kWide : 0);
    char* block = static_cast<char*>(TNodePool::Allocate(kCountSize + bytes));
    std::memcpy(block, &count, sizeof count);
    std::memcpy(FRoom + kPointerAt, &block, sizeof block);
    FTag = kOutOfLine;
    return block + kCountSize;
  }

  std::uint8_t FTag = 0;
  char FRoom[Bytes - 1] = {};
};
using TJSONText = TCompactText<16>;
using TJSONName = TCompactText<12>;
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
