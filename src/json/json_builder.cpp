#include "json/json_builder.h"

#include <unordered_map>

#include "json/date_manager.h"
#include "json/json_errors.h"

namespace vx::json {

namespace {
constexpr TLexemSet kValueStart =
    LexSet({ltSValue, ltIValue, ltDValue, ltNull, ltCLeft, ltBLeft, ltTrue, ltFalse});

UString FoldName(UStringView name) {
  UString folded(name);
  for (char16_t& c : folded) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  return folded;
}

// The members of one object being read. Names that compare equal replace each other: the old
// pair leaves its place and the new one goes to the end. Large objects keep an index of names
// so that reading stays linear.
class TMemberList {
 public:
  void Add(UString name, IJSONAncestor value) {
    const std::optional<size_t> old = Find(name);
    if (old) {
      FPairs[*old] = nullptr;  // removed; compacted at the end
      ++FRemoved;
    }
    if (value) {
      if (FIndexed) FIndex[FoldName(name)] = FPairs.size();
      FPairs.push_back(MakeRef<TJSONPair>(std::move(name), std::move(value)));
      if (!FIndexed && FPairs.size() > kIndexFrom) BuildIndex();
    } else if (old && FIndexed) {
      FIndex.erase(FoldName(name));
    }
  }

  [[nodiscard]] TJSONPairList Take() {
    if (FRemoved > 0) std::erase(FPairs, nullptr);
    FPairs.shrink_to_fit();  // documents are mostly read, rarely grown: keep no spare room
    return std::move(FPairs);
  }

 private:
  static constexpr size_t kIndexFrom = 16;

  [[nodiscard]] std::optional<size_t> Find(UStringView name) const {
    if (FIndexed) {
      auto it = FIndex.find(FoldName(name));
      if (it == FIndex.end()) return std::nullopt;
      return it->second;
    }
    for (size_t i = 0; i < FPairs.size(); ++i) {
      if (FPairs[i] && SameName(FPairs[i]->GetName(), name)) return i;
    }
    return std::nullopt;
  }

  void BuildIndex() {
    FIndexed = true;
    for (size_t i = 0; i < FPairs.size(); ++i) {
      if (FPairs[i]) FIndex[FoldName(FPairs[i]->GetName())] = i;
    }
  }

  TJSONPairList FPairs;
  size_t FRemoved = 0;
  bool FIndexed = false;
  std::unordered_map<UString, size_t> FIndex;
};

// Keeps the nesting depth for the duration of one container.
class TDepthGuard {
 public:
  explicit TDepthGuard(int& depth) : FDepth(depth) { ++FDepth; }
  ~TDepthGuard() { --FDepth; }
  TDepthGuard(const TDepthGuard&) = delete;
  TDepthGuard& operator=(const TDepthGuard&) = delete;

 private:
  int& FDepth;
};
}  // namespace

template <class CharT>
void TJSONBuilder<CharT>::Raise(const UString& message) const {
  // The start of the pending lexeme; at the end of the text, where the scanner stopped.
  const TPosition pos = FLex.Pending() ? FLex.Current().Pos : FLex.Position();
  throw TJSONSyntaxError(message, pos.Line, pos.Col);
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadValue() {
  switch (FLex.Check(kValueStart)) {
    case ltSValue:
      return ReadString();
    case ltIValue:
      FLex.KillLex();
      return MakeRef<TJSONInteger>(FLex.Current().IValue);
    case ltDValue:
      FLex.KillLex();
      return MakeRef<TJSONFloat>(FLex.Current().DValue);
    case ltNull:
      FLex.KillLex();
      return MakeRef<TJSONNull>();
    case ltTrue:
      FLex.KillLex();
      return MakeRef<TJSONBoolean>(true);
    case ltFalse:
      FLex.KillLex();
      return MakeRef<TJSONBoolean>(false);
    case ltCLeft:
      return ReadArray();
    case ltBLeft:
      return ReadObject();
    default:
      return {};
  }
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadString() {
  FLex.KillLex();
  const UStringView text = FLex.Current().SValue;
  if (FCheckDates && text.size() >= 5 && text.size() <= 25) {
    TDateTime value = 0;
    TDataType kind = dtNil;
    if (TJSONDateManager::Instance().Check(text, value, kind)) {
      switch (kind) {
        case dtDateTime:
          return MakeRef<TJSONDateTime>(value);
        case dtDate:
          return MakeRef<TJSONDate>(value);
        case dtTime:
          return MakeRef<TJSONTime>(value);
        default:
          break;
      }
    }
  }
  return MakeRef<TJSONString>(UString(text));
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadArray() {
  TDepthGuard guard(FDepth);
  if (FDepth > kMaxNestingDepth) Raise(u"Maximum nesting depth exceeded");
  FLex.KillLex();
  TJSONValueList values;
  do {
    if (IJSONAncestor v = ReadValue()) values.push_back(std::move(v));
  } while (FLex.CheckKill(ltVirgule));
  if (!FLex.CheckKill(ltCRight)) Raise(u"Unexpected end of input");
  values.shrink_to_fit();
  return MakeRef<TJSONArray>(std::move(values));
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadObject() {
  TDepthGuard guard(FDepth);
  if (FDepth > kMaxNestingDepth) Raise(u"Maximum nesting depth exceeded");
  FLex.KillLex();
  TMemberList members;
  UString name;
  do {
    if (FLex.CheckName(name)) {
      FLex.KillLex();
      if (!FLex.CheckKill(ltColon)) Raise(u"Expected :");
      // A member without a value is held as absent (it still replaces an earlier namesake).
      members.Add(std::move(name), ReadValue());
    }
  } while (FLex.CheckKill(ltVirgule));
  if (!FLex.CheckKill(ltBRight)) Raise(u"Unexpected end of input");
  return MakeRef<TJSONObject>(members.Take());
}

template class TJSONBuilder<char16_t>;
template class TJSONBuilder<char>;

IJSONAncestor TJSONObject::ParseJSONValue(UStringView text, bool CheckDate) {
  return TJSONBuilder<char16_t>(text, CheckDate).ReadValue();
}

IJSONAncestor TJSONObject::ParseJSONValueUtf8(std::string_view text, bool CheckDate) {
  return TJSONBuilder<char>(text, CheckDate).ReadValue();
}

}  // namespace vx::json
