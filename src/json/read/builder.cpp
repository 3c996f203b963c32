#include "json/read/builder.h"

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
  return MakeRef<TJSONString>(text);
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
