#include "json/read/builder.h"

#include <iterator>

#include "json/dates/recognition.h"
#include "json/model/errors.h"
#include "json/read/reader_stack.h"

namespace vx::json {

namespace {
constexpr TLexemSet kValueStart =
    LexSet({ltSValue, ltIValue, ltDValue, ltNull, ltCLeft, ltBLeft, ltTrue, ltFalse});
}  // namespace

template <class CharT>
void TJSONBuilder<CharT>::Raise(const UString& message) const {
  // The start of the pending lexeme; at the end of the text, where the scanner stopped.
  const TPosition pos = FLex.Pending() ? FLex.Current().Pos : FLex.Position();
  throw TJSONSyntaxError(message, pos.Line, pos.Col);
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadValue() {
  const TLexemType kind = FLex.Check(kValueStart);
  switch (kind) {
    case ltCLeft:
      return ReadArray();
    case ltBLeft:
      return ReadObject();
    case ltNil:
      return {};
    default:
      break;
  }
  FLex.KillLex();
  const TLexeme& lex = FLex.Current();
  switch (kind) {
    case ltSValue:
      return ReadString();
    case ltIValue:
      return MakeRef<TJSONInteger>(lex.IValue);
    case ltDValue:
      return MakeRef<TJSONFloat>(lex.DValue);
    case ltNull:
      return MakeRef<TJSONNull>();
    default:
      return MakeRef<TJSONBoolean>(kind == ltTrue);
  }
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadString() {
  const UStringView text = FLex.Current().SValue;
  if (FCheckDates && text.size() >= 5 && text.size() <= 25) {
    TDateTime value = 0;
    TDataType kind = dtNil;
    if (TJSONDateManager::Instance().Check(text, value, kind) &&
        (kind == dtDateTime || kind == dtDate || kind == dtTime))
      return NewDate(kind, value);
  }
  return MakeRef<TJSONString>(text);
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadArray() {
  // (A builder that raised an error is not used again: nothing needs restoring then.)
  if (++FDepth > kMaxNestingDepth) Raise(u"Maximum nesting depth exceeded");
  FLex.KillLex();
  // The values collect on the stack and leave it in one list of their exact size.
  const std::size_t base = FValues.size();
  do {
    if (IJSONAncestor v = ReadValue()) FValues.push_back(std::move(v));
  } while (FLex.CheckKill(ltVirgule));
  if (!FLex.CheckKill(ltCRight)) Raise(u"Unexpected end of input");
  const auto first = FValues.begin() + static_cast<std::ptrdiff_t>(base);
  TJSONValueList values(std::make_move_iterator(first), std::make_move_iterator(FValues.end()));
  FValues.resize(base);
  --FDepth;
  return MakeRef<TJSONArray>(std::move(values));
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadObject() {
  if (++FDepth > kMaxNestingDepth) Raise(u"Maximum nesting depth exceeded");
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
  --FDepth;
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
