#include "json/read/fast_reader.h"

#include "json/read/builder.h"
#include "json/read/reader_stack.h"

namespace vx::json {

namespace {
// Thrown where the fast reader leaves the text to the builder.
struct TGiveUp {};
[[noreturn]] void GiveUp() {
  throw TGiveUp{};
}
}  // namespace

std::optional<IJSONAncestor> TFastReader::Read() {
  // Documents are containers; a text of one value alone is left to the builder.
  const char first = NextByte();
  if (first != '{' && first != '[') return std::nullopt;
  try {
    return ReadValue();
  } catch (const TGiveUp&) {
    return std::nullopt;
  }
}

char TFastReader::NextByte() noexcept {
  while (FIndex < FText.size()) {
    const char c = FText[FIndex];
    if (c != ' ' && c != '\n' && c != '\r' && c != '\t') return c;
    ++FIndex;
  }
  return '\0';
}

void TFastReader::MoveTo(std::size_t end) {
  if (end == TLexGenerator<char>::kUncommon) GiveUp();
  FIndex = end;
}

IJSONAncestor TFastReader::ReadValue() {
  std::size_t units = 0;
  switch (NextByte()) {
    case '{':
      return ReadObject();
    case '[':
      return ReadArray();
    case '"':
      MoveTo(FLex.ScanString(FIndex, units));
      return StringValue(FLex.Current(), FCheckDates);
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      MoveTo(FLex.ScanNumber(FIndex));
      if (FLex.Current().Kind == ltIValue) return MakeRef<TJSONInteger>(FLex.Current().IValue);
      return MakeRef<TJSONFloat>(FLex.Current().DValue);
    case 't':
    case 'f':
    case 'n':
    case 'T':
    case 'F':
    case 'N':
      // Any other word is no value: the builder decides what it is.
      MoveTo(FLex.ScanWord(FIndex, units));
      switch (FLex.Current().Kind) {
        case ltTrue:
          return MakeRef<TJSONBoolean>(true);
        case ltFalse:
          return MakeRef<TJSONBoolean>(false);
        case ltNull:
          return MakeRef<TJSONNull>();
        default:
          GiveUp();
      }
    default:
      GiveUp();
  }
}

IJSONAncestor TFastReader::ReadArray() {
  TDepthGuard guard(FDepth);
  if (FDepth > kMaxNestingDepth) GiveUp();
  ++FIndex;
  TElementList values(FValues);
  if (NextByte() == ']') {
    ++FIndex;
    return MakeRef<TJSONArray>(values.Take());
  }
  for (;;) {
    values.Add(ReadValue());
    const char c = NextByte();
    ++FIndex;
    if (c == ']') break;
    if (c != ',') GiveUp();
  }
  return MakeRef<TJSONArray>(values.Take());
}

IJSONAncestor TFastReader::ReadObject() {
  TDepthGuard guard(FDepth);
  if (FDepth > kMaxNestingDepth) GiveUp();
  ++FIndex;
  TMemberList members(FPairs);
  if (NextByte() == '}') {
    ++FIndex;
    return MakeRef<TJSONObject>(members.Take());
  }
  TJSONName name;
  for (;;) {
    std::size_t units = 0;
    if (NextByte() != '"') GiveUp();
    MoveTo(FLex.ScanString(FIndex, units));
    const TLexeme& lex = FLex.Current();
    if (lex.HasLineBreak()) GiveUp();
    lex.TextTo(name);
    if (NextByte() != ':') GiveUp();
    ++FIndex;
    members.Add(std::move(name), ReadValue());
    const char c = NextByte();
    ++FIndex;
    if (c == '}') break;
    if (c != ',') GiveUp();
  }
  return MakeRef<TJSONObject>(members.Take());
}

}  // namespace vx::json
