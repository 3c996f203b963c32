#pragma once
// The scanner: cuts JSON text into lexemes. It reads UTF-16 text, or UTF-8 text as the same
// UTF-16 characters, moving a read position over the text and collecting each lexeme's text in
// one reused buffer; positions count UTF-16 units by the scanner's line rule.
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "core/ustring.h"
#include "json/model/compact_text.h"

namespace vx::json {

// Kinds of lexemes, in the order callers rely on (ordinals 0..15).
enum TLexemType : std::uint8_t {
  ltNil,
  ltSValue,
  ltIValue,
  ltDValue,
  ltNull,
  ltCLeft,
  ltCRight,
  ltBLeft,
  ltBRight,
  ltBSlash,
  ltColon,
  ltDot,
  ltVirgule,
  ltName,
  ltTrue,
  ltFalse
};

// Stepping past a character adds one column per UTF-16 unit, except that stepping onto a line
// feed starts a new line at column 1. Both start at 0.
struct TPosition {
  std::int32_t Col = 0;
  std::int32_t Line = 0;
};

struct TLexeme {
  TPosition Pos;
  std::int64_t IValue = 0;
  // The lexeme's text; it lives in the scanner's buffer until the next lexeme is read.
  UStringView SValue;
  double DValue = 0;
  TLexemType Kind = ltNull;
};

// A set of lexeme kinds.
using TLexemSet = std::uint32_t;
[[nodiscard]] constexpr TLexemSet LexSet(std::initializer_list<TLexemType> kinds) {
  TLexemSet s = 0;
  for (TLexemType k : kinds) s |= 1u << k;
  return s;
}

template <class CharT>
class TLexGenerator {
 public:
  explicit TLexGenerator(std::basic_string_view<CharT> text);

  // Reads the next lexeme if none is pending; its kind if in the set, otherwise ltNil.
  [[nodiscard]] TLexemType Check(TLexemSet kinds) {
    if (!FPending) FPending = NextLex();
    if (!FPending) return ltNil;
    return (kinds & (1u << FLex.Kind)) ? FLex.Kind : ltNil;
  }
  // True, consuming the pending lexeme, when it has this kind.
  [[nodiscard]] bool CheckKill(TLexemType kind) {
    if (!FPending && TakePunctuation(kind)) return true;
    if (Check(LexSet({kind})) != kind) return false;
    KillLex();
    return true;
  }
  // A pending string, bare word, true or false without line breaks names a member.
  [[nodiscard]] bool CheckName(TJSONName& name) {
    if (Check(LexSet({ltSValue, ltName, ltTrue, ltFalse})) == ltNil) return false;
    for (const char16_t c : FLex.SValue) {
      if (c == u'\r' || c == u'\n') return false;
    }
    name.Assign(FLex.SValue);
    return true;
  }
  void KillLex() noexcept { FPending = false; }
  [[nodiscard]] bool Pending() const noexcept { return FPending; }
  [[nodiscard]] const TLexeme& Current() const noexcept { return FLex; }
  // Where the next character would be read.
  [[nodiscard]] TPosition Position() const noexcept { return FPosition; }

 private:
  // One character of the text: its UTF-16 units (two for a surrogate pair) and how many code
  // units of the text it takes (0 at the end, where it reads as NUL).
  struct TChar {
    char16_t Units[2];
    std::uint8_t Count;
    std::uint8_t Length;
  };
  [[nodiscard]] TChar CharAt(std::size_t index) const noexcept;
  [[nodiscard]] TChar DecodeUtf8(std::size_t index) const noexcept;
  void Step(const TChar& c) noexcept;
  // Steps past the characters up to `end`: one unit each, none after the first a line feed.
  void StepPast(std::size_t end) noexcept;
  // Appends the run of ASCII characters from the read position on that continue the lexeme,
  // and steps past them.
  template <class Continues>
  void TakeRun(Continues continues);
  // Records the current position as the lexeme's start, unless one is recorded already (the
  // very start of the text, at column 0, counts as none).
  void MarkStart() noexcept {
    if (FLex.Pos.Col == 0) FLex.Pos = FPosition;
  }
  void Append(const TChar& c) { FBuffer.append(c.Units, c.Count); }

  // Steps past blanks and, when it comes next, the punctuation character of this kind: reading
  // it as a lexeme and consuming that would come to the same.
  [[nodiscard]] bool TakePunctuation(TLexemType kind) noexcept;
  // Each answers false when the text ends (or a NUL comes) before the lexeme does.
  bool NextLex();
  bool ReadString(char16_t quote);
  bool ReadWord();
  bool ReadNumber();
  bool ReadEscape();
  bool Finish(TLexemType kind) {
    FLex.Kind = kind;
    FLex.SValue = FBuffer;
    return true;
  }
  [[noreturn]] void RaiseIllegal(const TChar& c) const;

  std::basic_string_view<CharT> FText;
  std::size_t FIndex = 0;
  TPosition FPosition;
  TLexeme FLex;
  bool FPending = false;
  UString FBuffer;
};

extern template class TLexGenerator<char16_t>;
extern template class TLexGenerator<char>;

}  // namespace vx::json
