#include "json/json_builder.h"

#include <iterator>
#include <optional>

#include "json/date_manager.h"
#include "json/json_errors.h"
#include "json/name_index.h"

namespace vx::json {

namespace {
constexpr TLexemSet kValueStart =
    LexSet({ltSValue, ltIValue, ltDValue, ltNull, ltCLeft, ltBLeft, ltTrue, ltFalse});

// The members of one object being read, kept on the builder's pair stack from Base on. Names
// that compare equal replace each other: the old pair leaves its place and the new one goes to
// the end. Large objects keep an index of names so that reading stays linear.
class TMemberList {
 public:
  explicit TMemberList(std::vector<IJSONPair>& stack) : FStack(stack), FBase(stack.size()) {}
  TMemberList(const TMemberList&) = delete;
  TMemberList& operator=(const TMemberList&) = delete;
  // Drops what an abandoned object left on the stack.
  ~TMemberList() {
    if (FStack.size() > FBase) FStack.resize(FBase);
  }

  void Add(TJSONName&& name, IJSONAncestor&& value) {
    const std::optional<size_t> old = Find(name);
    if (old) {
      FStack[FBase + *old] = nullptr;  // removed; compacted at the end
      ++FRemoved;
    }
    if (value) {
      const size_t count = FStack.size() - FBase;
      if (FIndexed) FIndex.Set(name, count);
      FStack.push_back(MakeRef<TJSONPair>(std::move(name), std::move(value)));
      if (!FIndexed && count + 1 > kIndexFrom) BuildIndex();
    } else if (old && FIndexed) {
      FIndex.Erase(name);
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

  [[nodiscard]] std::optional<size_t> Find(const TJSONName& name) const {
    if (FIndexed) {
      return FIndex.Find(name);
    }
    for (size_t i = FBase; i < FStack.size(); ++i) {
      if (FStack[i] && FStack[i]->Name().Size() == name.Size() && SameName(FStack[i]->Name(), name))
        return i - FBase;
    }
    return std::nullopt;
  }

  void BuildIndex() {
    FIndexed = true;
    for (size_t i = FBase; i < FStack.size(); ++i) {
      if (FStack[i]) FIndex.Set(FStack[i]->Name(), i - FBase);
    }
  }

  std::vector<IJSONPair>& FStack;
  const size_t FBase;
  size_t FRemoved = 0;
  bool FIndexed = false;
  TNameIndex FIndex;
};

// The values of one array being read, kept on the builder's value stack from Base on.
class TElementList {
 public:
  explicit TElementList(std::vector<IJSONAncestor>& stack) : FStack(stack), FBase(stack.size()) {}
  TElementList(const TElementList&) = delete;
  TElementList& operator=(const TElementList&) = delete;
  ~TElementList() {
    if (FStack.size() > FBase) FStack.resize(FBase);
  }
  void Add(IJSONAncestor&& value) { FStack.push_back(std::move(value)); }
  [[nodiscard]] TJSONValueList Take() {
    TJSONValueList values(std::make_move_iterator(FStack.begin() + static_cast<std::ptrdiff_t>(FBase)),
                          std::make_move_iterator(FStack.end()));
    FStack.resize(FBase);
    return values;
  }

 private:
  std::vector<IJSONAncestor>& FStack;
  const size_t FBase;
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
  const TLexeme& lex = FLex.Current();
  const std::size_t size = lex.TextSize();
  if (FCheckDates && size >= 5 && size <= 25) {
    char16_t wide[25];
    UStringView text = lex.SValue;
    if (lex.IsNarrow) {
      for (std::size_t i = 0; i < size; ++i) wide[i] = UnitCode(lex.Narrow[i]);
      text = UStringView(wide, size);
    }
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
  return MakeRef<TJSONString>(lex);
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadArray() {
  TDepthGuard guard(FDepth);
  if (FDepth > kMaxNestingDepth) Raise(u"Maximum nesting depth exceeded");
  FLex.KillLex();
  TElementList values(FValues);
  do {
    if (IJSONAncestor v = ReadValue()) values.Add(std::move(v));
  } while (FLex.CheckKill(ltVirgule));
  if (!FLex.CheckKill(ltCRight)) Raise(u"Unexpected end of input");
  return MakeRef<TJSONArray>(values.Take());
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadObject() {
  TDepthGuard guard(FDepth);
  if (FDepth > kMaxNestingDepth) Raise(u"Maximum nesting depth exceeded");
  FLex.KillLex();
  TMemberList members(FPairs);
  TJSONName name;
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
