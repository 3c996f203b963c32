#include "json/read/builder.h"

#include <optional>

#include "json/dates/recognition.h"
#include "json/model/errors.h"
#include "json/read/fast_reader.h"
#include "json/read/reader_stack.h"

namespace vx::json {

namespace {
constexpr TLexemSet kValueStart =
    LexSet({ltSValue, ltIValue, ltDValue, ltNull, ltCLeft, ltBLeft, ltTrue, ltFalse});
}  // namespace

IJSONAncestor StringValue(const TLexeme& lex, bool CheckDates) {
  const std::size_t size = lex.TextSize();
  if (CheckDates && size >= 5 && size <= 25) {
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
void TJSONBuilder<CharT>::Raise(const UString& message) const {
  // The start of the pending lexeme; at the end of the text, where the scanner stopped.
  const TPosition pos = FLex.Pending() ? FLex.Current().Pos : FLex.Position();
  throw TJSONSyntaxError(message, pos.Line, pos.Col);
}

template <class CharT>
IJSONAncestor TJSONBuilder<CharT>::ReadValue() {
  switch (FLex.Check(kValueStart)) {
    case ltSValue:
      FLex.KillLex();
      return StringValue(FLex.Current(), FCheckDates);
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
  // Most texts are read by the fast reader; the others, and every error, by the builder.
  if (std::optional<IJSONAncestor> value = TFastReader(text, CheckDate).Read()) return *std::move(value);
  return TJSONBuilder<char>(text, CheckDate).ReadValue();
}

}  // namespace vx::json
