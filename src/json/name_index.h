#pragma once
// An index of member names for large objects: names that differ only in the case of ASCII
// letters share one entry. Lookups take the name as it is; nothing is copied to look it up.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "core/ustring.h"

namespace vx::json {

class TNameIndex {
 public:
  [[nodiscard]] std::optional<std::size_t> Find(UStringView name) const {
    auto it = FMap.find(name);
    if (it == FMap.end()) return std::nullopt;
    return it->second;
  }
  // Sets the position of a name, adding the name when it is new.
  void Set(UStringView name, std::size_t pos) {
    auto it = FMap.find(name);
    if (it != FMap.end()) {
      it->second = pos;
    } else {
      FMap.emplace(Fold(name), pos);
    }
  }
  void Erase(UStringView name) {
    auto it = FMap.find(name);
    if (it != FMap.end()) FMap.erase(it);
  }
  // A position was removed from the list: the positions behind it move up by one.
  void Removed(std::size_t pos) {
    for (auto& entry : FMap) {
      if (entry.second > pos) --entry.second;
    }
  }
  void Reserve(std::size_t count) { FMap.reserve(count); }

 private:
  static char16_t Upper(char16_t c) noexcept {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  }
  static UString Fold(UStringView name) {
    UString folded(name);
    for (char16_t& c : folded) c = Upper(c);
    return folded;
  }
  struct THash {
    using is_transparent = void;
    std::size_t operator()(UStringView name) const noexcept {
      // 64-bit FNV-1a in every build (a 32-bit size_t cannot hold its constants).
      std::uint64_t h = 14695981039346656037ull;
      for (char16_t c : name) h = (h ^ Upper(c)) * 1099511628211ull;
      return static_cast<std::size_t>(h ^ (h >> 32));
    }
  };
  struct TEqual {
    using is_transparent = void;
    bool operator()(UStringView a, UStringView b) const noexcept {
      if (a.size() != b.size()) return false;
      for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
      }
      return true;
    }
  };
  std::unordered_map<UString, std::size_t, THash, TEqual> FMap;
};

}  // namespace vx::json
