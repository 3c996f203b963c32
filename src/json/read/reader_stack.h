#pragma once
// The builder's stack of members of the objects being read (innermost on top): each object
// leaves it in one list of its exact size when it closes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "json/model/name_index.h"
#include "json/model/values.h"

namespace vx::json {

// The members of one object being read, kept on the builder's pair stack from Base on. Names
// that compare equal replace each other: the old pair leaves its place and the new one goes to
// the end. Large objects keep an index of names so that reading stays linear.
class TMemberList {
 public:
  explicit TMemberList(std::vector<IJSONPair>& stack) : FStack(stack), FBase(stack.size()) {}
  TMemberList(const TMemberList&) = delete;
  TMemberList& operator=(const TMemberList&) = delete;

  void Add(TJSONName&& name, IJSONAncestor&& value) {
    // A name whose mark is new is not present: most members are added without a search.
    const std::uint64_t mark = Mark(name);
    const std::optional<size_t> old = (FMarks & mark) ? Find(name) : std::nullopt;
    FMarks |= mark;
    if (old) {
      FStack[FBase + *old] = nullptr;  // removed; compacted at the end
      ++FRemoved;
    }
    if (value) {
      const size_t count = FStack.size() - FBase;
      if (FIndex) FIndex->Set(name, count);
      FStack.push_back(MakeRef<TJSONPair>(std::move(name), std::move(value)));
      if (!FIndex && count + 1 > kIndexFrom) BuildIndex();
    } else if (old && FIndex) {
      FIndex->Erase(name);
    }
  }

  // The members in order, in a list of their exact size; the stack is back at Base.
  [[nodiscard]] TJSONPairList Take() {
    TJSONPairList pairs;
    pairs.reserve(FStack.size() - FBase - FRemoved);
    for (size_t i = FBase; i < FStack.size(); ++i) {
      if (FStack[i]) pairs.push_back(std::move(FStack[i]));
    }
    FStack.resize(FBase);
    return pairs;
  }

 private:
  static constexpr size_t kIndexFrom = 16;

  // Names that compare equal have one mark: of their size and last unit, ASCII case folded.
  [[nodiscard]] static std::uint64_t Mark(const TJSONName& name) {
    const char16_t last =
        name.Visit([](auto units) { return units.empty() ? u'\0' : UnitCode(units.back()); });
    return std::uint64_t{1} << ((name.Size() * 31 + AsciiUpper(last)) & 63);
  }
  [[nodiscard]] std::optional<size_t> Find(const TJSONName& name) const {
    if (FIndex) return FIndex->Find(name);
    for (size_t i = FBase; i < FStack.size(); ++i) {
      if (FStack[i] && SameName(FStack[i]->Name(), name)) return i - FBase;
    }
    return std::nullopt;
  }

  void BuildIndex() {
    FIndex.emplace();
    for (size_t i = FBase; i < FStack.size(); ++i) {
      if (FStack[i]) FIndex->Set(FStack[i]->Name(), i - FBase);
    }
  }

  std::vector<IJSONPair>& FStack;
  const size_t FBase;
  size_t FRemoved = 0;
  std::uint64_t FMarks = 0;
  // Large objects keep an index of their names.
  std::optional<TNameIndex> FIndex;
};

}  // namespace vx::json
