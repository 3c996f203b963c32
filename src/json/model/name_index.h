#pragma once
// An index of member names for large objects: names that differ only in the case of ASCII
// letters share one entry. Lookups take the name as it is (a view or a member's own text);
// nothing is copied to look it up.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "core/ustring.h"
#include "json/model/compact_text.h"

namespace vx::json {

class TNameIndex {
 public:
  template <class Name>
  [[nodiscard]] std::optional<std::size_t> Find(const Name& name) const {
    auto it = FMap.find(name);
    if (it == FMap.end()) return std::nullopt;
    return it->second;
  }
  // Sets the position of a name, adding the name when it is new.
  template <class Name>
  void Set(const Name& name, std::size_t pos) {
    auto it = FMap.find(name);
    if (it != FMap.end()) {
      it->second = pos;
    } else {
      FMap.emplace(Fold(name), pos);
    }
  }
  template <class Name>
  void Erase(const Name& name) {
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
  template <class Name>
  static UString Fold(const Name& name) {
    UString folded = VisitUnits(name, [](auto units) { return Widen(units); });
    for (char16_t& c : folded) c = AsciiUpper(c);
    return folded;
  }
  struct THash {
    using is_transparent = void;
    template <class Name>
    std::size_t operator()(const Name& name) const noexcept {
      return VisitUnits(name, [](auto units) {
        // 64-bit FNV-1a in every build (a 32-bit size_t cannot hold its constants).
        std::uint64_t h = 14695981039346656037ull;
        for (const auto c : units) h = (h ^ AsciiUpper(UnitCode(c))) * 1099511628211ull;
        return static_cast<std::size_t>(h ^ (h >> 32));
      });
    }
  };
  struct TEqual {
    using is_transparent = void;
    template <class A, class B>
    bool operator()(const A& a, const B& b) const noexcept {
      return SameName(View(a), View(b));
    }
  };
  // Keys are UStrings; lookups come as views or texts.
  static UStringView View(const UString& s) noexcept { return s; }
  static UStringView View(UStringView s) noexcept { return s; }
  template <std::size_t N>
  static const TCompactText<N>& View(const TCompactText<N>& s) noexcept {
    return s;
  }
  std::unordered_map<UString, std::size_t, THash, TEqual> FMap;
};

}  // namespace vx::json
