#pragma once
// The table-driven scanner: cuts JSON text (UTF-16, or UTF-8 read as the same UTF-16 characters)
// into lexemes following the routes of TJSONGrammar.
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/ustring.h"
#include "json/model/compact_text.h"
#include "json/read/grammar.h"

namespace vx::json {

struct TPosition {
  std::int32_t Col = 0;
  std::int32_t Line = 0;
};

struct TLexeme {
  TPosition Pos;
  std::int64_t IValue = 0;
  // The lexeme's text; it lives in the scanner's buffer until the next lexeme is read.
  UStringView SValue;
  // A string or number read straight from ASCII text of a UTF-8 document has its text here
  // instead (the text's own bytes; SValue is then empty).
  std::string_view Narrow;
  double DValue = 0;
  TLexemType Kind = ltNull;
  bool IsNarrow = false;

  [[nodiscard]] std::size_t TextSize() const noexcept { return IsNarrow ? Narrow.size() : SValue.size(); }
  // Whether the text holds a line break (such a text names no member; a narrow one holds none).
  [[nodiscard]] bool HasLineBreak() const noexcept {
    return SValue.find_first_of(u"\r\n") != UStringView::npos;
  }
  template <class Text>
  void TextTo(Text& text) const {
    if (IsNarrow) {
      text.AssignLatin1(Narrow);
    } else {
      text.Assign(SValue);
    }
  }
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
  // `direct`: common lexemes are read straight from the text (the same lexemes as the routes
  // give; off, every character goes through the routes, which the tests compare against).
  explicit TLexGenerator(std::basic_string_view<CharT> text, bool direct = true);

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
    if (Check(LexSet({ltSValue, ltName, ltTrue, ltFalse})) == ltNil || FLex.HasLineBreak()) return false;
    FLex.TextTo(name);
    return true;
  }
  void KillLex() noexcept { FPending = false; }
  [[nodiscard]] bool Pending() const noexcept { return FPending; }
  [[nodiscard]] const TLexeme& Current() const noexcept { return FLex; }
  [[nodiscard]] TLexeme& Current() noexcept { return FLex; }
  // The scanner's position (where the next character would be read).
  [[nodiscard]] TPosition Position() const noexcept { return FPosition; }

  // The lexeme that starts at `index`, read as the direct reading reads it but without moving
  // the scanner or counting positions (the fast reader keeps its own place): a number (a digit
  // or minus sign at `index`), a quoted string, or a word. The lexeme is Current(); the answer
  // is the index after it, or kUncommon when only the routes may read it. `units`: the UTF-16
  // units it spans.
  static constexpr size_t kUncommon = static_cast<size_t>(-1);
  [[nodiscard]] size_t ScanNumber(size_t index);
  [[nodiscard]] size_t ScanString(size_t index, size_t& units);
  [[nodiscard]] size_t ScanWord(size_t index, size_t& units);

 private:
  struct TChar {
    char16_t Units[2];
    std::uint8_t Count;   // UTF-16 code units
    std::uint8_t Length;  // source code units
  };
  [[nodiscard]] TChar CharAt(size_t index) const noexcept;
  [[nodiscard]] TChar DecodeAt(size_t index) const noexcept;
  bool NextLex();
  [[nodiscard]] bool FastLex();
  // Takes a punctuation lexeme of this kind straight from the text when it comes next (after
  // blanks), without reading it as a lexeme; otherwise the scanner stands where the routes
  // would start reading.
  [[nodiscard]] bool TakePunctuation(TLexemType kind) noexcept;
  void SkipBlanks() noexcept;
  // Appends the text's units from..to (ASCII, or UTF-16 units) to the buffer.
  void AppendFrom(size_t from, size_t to);
  // Room for `more` units after the `used` ones in FUnits, which keeps them; answers FUnits.
  [[nodiscard]] char16_t* GrowUnits(size_t used, size_t more);
  void Step(const TChar& c) noexcept;
  [[noreturn]] void RaiseIllegal(const TTrigger& trigger, const TChar& c) const;
  void ParseBuffer(TParseProc proc, bool& escapeEnded);

  std::basic_string_view<CharT> FText;
  size_t FIndex = 0;
  TPosition FPosition;
  const TJSONGrammar& FGrammar;
  const TRoute* FStartRoute;
  const TRoute* FEscRoute;
  TLexeme FLex;
  bool FPending = false;
  bool FDirect;
  UString FBuffer;
  UString FEscBuffer;
  // The units of a string read directly (room grown, never shrunk); see GrowUnits.
  std::unique_ptr<char16_t[]> FUnits;
  size_t FUnitRoom = 0;
};

extern template class TLexGenerator<char16_t>;
extern template class TLexGenerator<char>;

}  // namespace vx::json
