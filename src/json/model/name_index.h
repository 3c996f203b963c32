#pragma once
// An index of member names for large objects: names that differ only in the case of ASCII
// letters share one entry, kept under the name with those letters in upper case.
#include <cstddef>
#include <optional>
#include <unordered_map>

#include "core/ustring.h"
#include "json/model/compact_text.h"

namespace vx::json {

class TNameIndex {
 public:
  // Names come as views or as members' texts.
  template <class Name>
  [[nodiscard]] std::optional<std::size_t> Find(const Name& name) const {
    const auto it = FMap.find(Key(name));
    if (it == FMap.end()) return std::nullopt;
    return it->second;
  }
  // Sets the position of a name, adding the name when it is new.
  template <class Name>
  void Set(const Name& name, std::size_t pos) {
    FMap[Key(name)] = pos;
  }
  template <class Name>
  void Erase(const Name& name) {
    FMap.erase(Key(name));
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
  static UString Key(const Name& name) {
    UString key = VisitUnits(name, [](auto units) { return Widen(units); });
    for (char16_t& c : key) c = AsciiUpper(c);
    return key;
  }
  std::unordered_map<UString, std::size_t> FMap;
};

}  // namespace vx::json
