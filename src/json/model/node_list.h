#pragma once
// The member list of an object or an array: counted references in one block from the node pool,
// held in 16 bytes (address, size, capacity; a std::vector takes 24), since a tree holds one list
// per container. Lists the reader builds are of their exact size; lists grown through the API
// double their room.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "json/model/node_pool.h"

namespace vx::json {

template <class T>
class TNodeList {
  static_assert(std::is_nothrow_move_constructible_v<T> && std::is_nothrow_destructible_v<T>);

 public:
  using value_type = T;
  using size_type = std::size_t;
  using iterator = T*;
  using const_iterator = const T*;

  TNodeList() noexcept = default;
  TNodeList(std::initializer_list<T> items) : TNodeList(items.begin(), items.end()) {}
  // The items of a range whose size is known ahead (move iterators move them).
  template <std::input_iterator It>
  TNodeList(It first, It last) {
    reserve(static_cast<std::size_t>(std::distance(first, last)));
    for (; first != last; ++first) Emplace(*first);
  }
  TNodeList(const TNodeList& other) : TNodeList(other.begin(), other.end()) {}
  TNodeList(TNodeList&& other) noexcept
      : FItems(std::exchange(other.FItems, nullptr)),
        FSize(std::exchange(other.FSize, 0)),
        FCapacity(std::exchange(other.FCapacity, 0)) {}
  TNodeList& operator=(TNodeList other) noexcept {
    std::swap(FItems, other.FItems);
    std::swap(FSize, other.FSize);
    std::swap(FCapacity, other.FCapacity);
    return *this;
  }
  ~TNodeList() {
    clear();
    Free();
  }

  [[nodiscard]] std::size_t size() const noexcept { return FSize; }
  [[nodiscard]] bool empty() const noexcept { return FSize == 0; }
  [[nodiscard]] T* begin() noexcept { return FItems; }
  [[nodiscard]] T* end() noexcept { return FItems + FSize; }
  [[nodiscard]] const T* begin() const noexcept { return FItems; }
  [[nodiscard]] const T* end() const noexcept { return FItems + FSize; }
  [[nodiscard]] T& operator[](std::size_t i) noexcept { return FItems[i]; }
  [[nodiscard]] const T& operator[](std::size_t i) const noexcept { return FItems[i]; }
  [[nodiscard]] T& back() noexcept { return FItems[FSize - 1]; }
  [[nodiscard]] const T& back() const noexcept { return FItems[FSize - 1]; }

  void reserve(std::size_t capacity) {
    if (capacity > FCapacity) Regrow(capacity);
  }
  void push_back(T item) {
    if (FSize == FCapacity) Regrow(std::max<std::size_t>(4, std::size_t{FCapacity} * 2));
    Emplace(std::move(item));
  }
  // Removes the item at pos; the later ones move up.
  T* erase(const T* pos) noexcept {
    T* at = FItems + (pos - FItems);
    std::move(at + 1, end(), at);
    FItems[--FSize].~T();
    return at;
  }
  void clear() noexcept {
    std::destroy(begin(), end());
    FSize = 0;
  }

 private:
  static constexpr std::size_t kMaxItems = UINT32_MAX;

  template <class U>
  void Emplace(U&& item) {
    ::new (static_cast<void*>(FItems + FSize)) T(std::forward<U>(item));
    ++FSize;
  }
  void Regrow(std::size_t capacity) {
    if (capacity > kMaxItems) throw std::length_error("too many members in one JSON container");
    T* items = static_cast<T*>(TNodePool::Allocate(capacity * sizeof(T)));
    std::uninitialized_move(begin(), end(), items);
    std::destroy(begin(), end());
    Free();
    FItems = items;
    FCapacity = static_cast<std::uint32_t>(capacity);
  }
  void Free() noexcept {
    if (FItems) TNodePool::Free(FItems, std::size_t{FCapacity} * sizeof(T));
  }

  T* FItems = nullptr;
  std::uint32_t FSize = 0;
  std::uint32_t FCapacity = 0;
};

}  // namespace vx::json
