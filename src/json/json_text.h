#pragma once
// The text of a string value or a member name, in 16 bytes: up to six UTF-16 units sit inside
// the object, longer texts in one block of exactly their size (no capacity, no terminator) from
// the node pool, so that a tree of many short strings needs no heap allocation per string.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "core/ustring.h"
#include "json/node_pool.h"

namespace vx::json {

class alignas(8) TJSONText {
 public:
  TJSONText() noexcept = default;
  explicit TJSONText(UStringView text) : FSize(static_cast<std::uint32_t>(text.size())) {
    if (text.size() > UINT32_MAX) throw std::length_error("text too long for a JSON value");
    char16_t* units = FBytes;
    if (FSize > kInline) {
      units = static_cast<char16_t*>(TNodePool::AllocateBlock(Bytes()));
      std::memcpy(FBytes + kPointerAt, &units, sizeof units);
    }
    if (FSize != 0) std::memcpy(units, text.data(), Bytes());
  }
  TJSONText(const TJSONText& other) : TJSONText(other.View()) {}
  TJSONText(TJSONText&& other) noexcept : FSize(std::exchange(other.FSize, 0)) {
    std::memcpy(FBytes, other.FBytes, sizeof FBytes);
  }
  TJSONText& operator=(TJSONText other) noexcept {
    std::swap(FSize, other.FSize);
    char16_t bytes[kInline];
    std::memcpy(bytes, FBytes, sizeof bytes);
    std::memcpy(FBytes, other.FBytes, sizeof bytes);
    std::memcpy(other.FBytes, bytes, sizeof bytes);
    return *this;
  }
  ~TJSONText() {
    if (FSize > kInline) TNodePool::FreeBlock(const_cast<char16_t*>(Data()), Bytes());
  }

  [[nodiscard]] const char16_t* Data() const noexcept {
    if (FSize <= kInline) return FBytes;
    char16_t* units;
    std::memcpy(&units, FBytes + kPointerAt, sizeof units);
    return units;
  }
  [[nodiscard]] std::size_t Size() const noexcept { return FSize; }
  [[nodiscard]] UStringView View() const noexcept { return {Data(), FSize}; }
  [[nodiscard]] UString Str() const { return UString(View()); }

 private:
  static constexpr std::uint32_t kInline = 6;
  // Where a block's address is kept: the 8-byte aligned part of the inline room.
  static constexpr std::size_t kPointerAt = 2;
  [[nodiscard]] std::size_t Bytes() const noexcept { return std::size_t{FSize} * sizeof(char16_t); }

  std::uint32_t FSize = 0;
  char16_t FBytes[kInline] = {};
};
static_assert(sizeof(TJSONText) == 16);

}  // namespace vx::json
