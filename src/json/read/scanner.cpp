#include "json/read/scanner.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

#include "json/model/errors.h"
#include "json/model/variant_text.h"

namespace vx::json {

namespace {
UString Hex2(char16_t code) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  UString s;
  bool started = false;
  for (int shift = 12; shift >= 0; shift -= 4) {
    const int d = (code >> shift) & 15;
    if (d != 0 || started || shift <= 4) {
      s.push_back(kHex[d]);
      started = true;
    }
  }
  return s;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return c - u'A' + 10;
}

char16_t TranslateEscape(char16_t c) {
  switch (c) {
    case u'b':
      return 8;
    case u'f':
      return 12;
    case u'n':
      return 10;
    case u'r':
      return 13;
    case u't':
      return 9;
    case u'v':
      return 11;
    default:
      return c;  // quotation mark, apostrophe, backslash and every other character stand for themselves
  }
}

TLexemType WordKind(UStringView word) {
  if (word.empty()) return ltName;
  switch (word[0]) {
    case u',':
      return ltVirgule;
    case u'.':
      return ltDot;
    case u':':
      return ltColon;
    case u'[':
      return ltCLeft;
    case u']':
      return ltCRight;
    case u'{':
      return ltBLeft;
    case u'}':
      return ltBRight;
    default:
      break;
  }
  if (EqualNoCase(word, u"TRUE")) return ltTrue;
  if (EqualNoCase(word, u"FALSE")) return ltFalse;
  if (EqualNoCase(word, u"Null")) return ltNull;
  return ltName;
}

// Character classes of the direct reading of common lexemes (ASCII codes only).
enum TCharClass : std::uint8_t {
  ccOther,  // left to the grammar's routes
  ccBlank,
  ccPunctuation,
  ccQuote,
  ccDigit,
  ccWordStart
};

struct TFastTables {
  std::uint8_t Class[128] = {};
  // Characters that continue a string without escape or end (per quote), a word, and that may
  // follow a number.
  bool InString[2][128] = {};
  bool InWord[128] = {};
  bool AfterNumber[128] = {};
  // The kind of each punctuation character (as WordKind gives it).
  TLexemType Punctuation[128] = {};
};

constexpr TFastTables kFast = [] {
  TFastTables t{};
  const auto set = [&t](std::string_view chars, TCharClass cls) {
    for (const char c : chars) t.Class[static_cast<unsigned char>(c)] = cls;
  };
  set("\t\n\r ", ccBlank);
  set(",.:[]{}", ccPunctuation);
  set("\"'", ccQuote);
  set("-0123456789", ccDigit);
  set("$_ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\x7f", ccWordStart);
  for (const auto& [c, kind] : {std::pair{',', ltVirgule},
                                {'.', ltDot},
                                {':', ltColon},
                                {'[', ltCLeft},
                                {']', ltCRight},
                                {'{', ltBLeft},
                                {'}', ltBRight}})
    t.Punctuation[static_cast<unsigned char>(c)] = kind;
  for (int c = 0; c < 128; ++c) {
    const bool special = c == 0 || c == '\n' || c == '\r' || c == '\\';
    t.InString[0][c] = !special && c != '"';
    t.InString[1][c] = !special && c != '\'';
    t.InWord[c] = !special && c != '\t' && c != ' ' && c != '"' && c != '\'' && t.Class[c] != ccPunctuation;
    t.AfterNumber[c] =
        c == 0 || t.Class[c] == ccBlank || t.Class[c] == ccPunctuation || t.Class[c] == ccQuote;
  }
  return t;
}();

// Skips UTF-8 string text 8 bytes at a time up to the first quote, backslash, NUL, line break or
// non-ASCII byte; the last few bytes of the text are left to be read byte by byte.
size_t SkipPlainWords(const char* text, size_t j, size_t size, char quote) noexcept {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  // High bits where a byte may equal c: exact up to the first such byte, which is all we use.
  const auto equal = [](std::uint64_t w, unsigned char c) {
    const std::uint64_t x = w ^ (kOnes * c);
    return (x - kOnes) & ~x & kHigh;
  };
  while (size - j >= 8) {
    std::uint64_t w;
    std::memcpy(&w, text + j, sizeof w);
    if constexpr (std::endian::native != std::endian::little) w = __builtin_bswap64(w);
    const std::uint64_t stops = (w & kHigh) | equal(w, static_cast<unsigned char>(quote)) | equal(w, '\\') |
                                equal(w, 0) | equal(w, '\n') | equal(w, '\r');
    if (stops != 0) return j + static_cast<size_t>(std::countr_zero(stops) / 8);
    j += 8;
  }
  return j;
}

bool IsAsciiDigit(unsigned c) {
  return c - '0' < 10;
}

bool IsHexDigit(unsigned c) {
  return IsAsciiDigit(c) || (c | 0x20) - 'a' < 6;
}

// The step onto the character at `index`: moving onto a line feed starts a new line at column
// 1; any other step adds one column.
template <class CharT>
void StepOnto(const CharT* text, size_t index, size_t size, std::int32_t& line, std::int32_t& col) noexcept {
  if (index < size && text[index] == CharT('\n')) {
    ++line;
    col = 1;
  } else {
    ++col;
  }
}

// Integer text: optional minus sign and decimal digits (leading zeros allowed).
template <class View>
bool ParseInt64(View s, std::int64_t& out) {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == u'-';
  if (negative) i = 1;
  if (i == s.size()) return false;
  std::uint64_t v = 0;
  const std::uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
  for (; i < s.size(); ++i) {
    const char16_t c = UnitCode(s[i]);
    if (c < u'0' || c > u'9') return false;
    const unsigned d = c - u'0';
    if (v > (limit - d) / 10) return false;
    v = v * 10 + d;
  }
  out = negative ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
  return true;
}
}  // namespace

template <class CharT>
TLexGenerator<CharT>::TLexGenerator(std::basic_string_view<CharT> text, bool direct)
    : FText(text),
      FGrammar(TJSONGrammar::Instance()),
      FStartRoute(FGrammar.First),
      FEscRoute(FGrammar.Escape),
      FDirect(direct) {
  FBuffer.reserve(32);
  FEscBuffer.reserve(8);
}

template <class CharT>
inline typename TLexGenerator<CharT>::TChar TLexGenerator<CharT>::CharAt(size_t index) const noexcept {
  if (index >= FText.size()) return {{0, 0}, 1, 0};
  if constexpr (sizeof(CharT) == 2) {
    // A surrogate pair is one character, as the same character read from UTF-8 is.
    const auto u = static_cast<char16_t>(FText[index]);
    if (u >= 0xD800 && u <= 0xDBFF && index + 1 < FText.size()) {
      const auto low = static_cast<char16_t>(FText[index + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) return {{u, low}, 2, 2};
    }
    return {{u, 0}, 1, 1};
  } else {
    const auto b0 = static_cast<unsigned char>(FText[index]);
    if (b0 < 0x80) return {{b0, 0}, 1, 1};
    return DecodeAt(index);
  }
}

template <class CharT>
typename TLexGenerator<CharT>::TChar TLexGenerator<CharT>::DecodeAt(size_t index) const noexcept {
  if constexpr (sizeof(CharT) == 2) {
    return CharAt(index);
  } else {
    const auto b0 = static_cast<unsigned char>(FText[index]);
    // UTF-8 sequence; anything malformed reads as one U+FFFD per byte.
    const TChar bad{{0xFFFD, 0}, 1, 1};
    auto cont = [&](size_t k) -> int {
      if (index + k >= FText.size()) return -1;
      const auto b = static_cast<unsigned char>(FText[index + k]);
      return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
    };
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      const int c1 = cont(1);
      if (c1 < 0) return bad;
      return {{static_cast<char16_t>(((b0 & 0x1F) << 6) | c1), 0}, 1, 2};
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
      const int c1 = cont(1), c2 = cont(2);
      if (c1 < 0 || c2 < 0) return bad;
      const std::uint32_t cp = ((b0 & 0x0F) << 12) | (c1 << 6) | c2;
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return bad;
      return {{static_cast<char16_t>(cp), 0}, 1, 3};
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
      const int c1 = cont(1), c2 = cont(2), c3 = cont(3);
      if (c1 < 0 || c2 < 0 || c3 < 0) return bad;
      const std::uint32_t cp = ((b0 & 0x07) << 18) | (c1 << 12) | (c2 << 6) | c3;
      if (cp < 0x10000 || cp > 0x10FFFF) return bad;
      const std::uint32_t v = cp - 0x10000;
      return {{static_cast<char16_t>(0xD800 + (v >> 10)), static_cast<char16_t>(0xDC00 + (v & 0x3FF))}, 2, 4};
    }
    return bad;
  }
}

template <class CharT>
inline void TLexGenerator<CharT>::Step(const TChar& c) noexcept {
  FIndex += c.Length;
  FPosition.Col += c.Count - 1;
  StepOnto(FText.data(), FIndex, FText.size(), FPosition.Line, FPosition.Col);
}

template <class CharT>
void TLexGenerator<CharT>::AppendFrom(size_t from, size_t to) {
  const size_t old = FBuffer.size();
  FBuffer.resize(old + (to - from));
  char16_t* dst = FBuffer.data() + old;
  for (size_t k = from; k < to; ++k)
    *dst++ = static_cast<char16_t>(static_cast<std::make_unsigned_t<CharT>>(FText[k]));
}

template <class CharT>
void TLexGenerator<CharT>::SkipBlanks() noexcept {
  using U = std::make_unsigned_t<CharT>;
  const CharT* const text = FText.data();
  const size_t size = FText.size();
  size_t i = FIndex;
  std::int32_t line = FPosition.Line, col = FPosition.Col;
  while (i < size && static_cast<U>(text[i]) < 128 && kFast.Class[static_cast<U>(text[i])] == ccBlank)
    StepOnto(text, ++i, size, line, col);
  FIndex = i;
  FPosition = {col, line};
}

template <class CharT>
bool TLexGenerator<CharT>::TakePunctuation(TLexemType kind) noexcept {
  // The character of each punctuation kind, by kind.
  static constexpr char kCharOf[] = {0, 0, 0, 0, 0, '[', ']', '{', '}', 0, ':', '.', ',', 0, 0, 0};
  static_assert(sizeof kCharOf == ltFalse + 1);
  if (!FDirect || FStartRoute != FGrammar.First || FEscRoute != FGrammar.Escape || kCharOf[kind] == 0)
    return false;
  SkipBlanks();
  if (FIndex >= FText.size() || FPosition.Col == 0 || FText[FIndex] != CharT(kCharOf[kind])) return false;
  StepOnto(FText.data(), ++FIndex, FText.size(), FPosition.Line, FPosition.Col);
  return true;
}

template <class CharT>
size_t TLexGenerator<CharT>::ScanNumber(size_t i) {
  using U = std::make_unsigned_t<CharT>;
  const CharT* const text = FText.data();
  const size_t size = FText.size();
  FLex.IsNarrow = false;
  const auto digitsAt = [&](size_t k) {
    while (k < size && IsAsciiDigit(static_cast<U>(text[k]))) ++k;
    return k;
  };
  size_t j = digitsAt(i + 1);
  bool fraction = false;
  if (j < size && text[j] == CharT('.')) {
    fraction = true;
    j = digitsAt(j + 1);
  }
  if (j < size && (text[j] == CharT('e') || text[j] == CharT('E'))) {
    fraction = true;
    size_t k = j + 1;
    if (k < size && (text[k] == CharT('+') || text[k] == CharT('-'))) ++k;
    j = digitsAt(k);
    if (j == k) return kUncommon;
  }
  if (j < size && (static_cast<U>(text[j]) >= 128 || !kFast.AfterNumber[static_cast<U>(text[j])]))
    return kUncommon;
  const auto read = [&](auto digits) {
    if (fraction) {
      const auto d = TryStrToFloat(digits);
      if (!d) return false;
      FLex.Kind = ltDValue;
      FLex.DValue = *d;
      return true;
    }
    FLex.Kind = ltIValue;
    return ParseInt64(digits, FLex.IValue);
  };
  FBuffer.clear();
  if constexpr (sizeof(CharT) == 1) {
    FLex.Narrow = std::string_view(text + i, j - i);
    FLex.IsNarrow = true;
    if (!read(FLex.Narrow)) return kUncommon;
  } else {
    AppendFrom(i, j);
    if (!read(UStringView(FBuffer))) return kUncommon;
  }
  FLex.SValue = FBuffer;
  return j;
}

template <class CharT>
char16_t* TLexGenerator<CharT>::GrowUnits(size_t used, size_t more) {
  const size_t room = std::max({2 * FUnitRoom, used + more, size_t{256}});
  auto units = std::make_unique_for_overwrite<char16_t[]>(room);
  if (used != 0) std::memcpy(units.get(), FUnits.get(), used * sizeof(char16_t));
  FUnits = std::move(units);
  FUnitRoom = room;
  return FUnits.get();
}

template <class CharT>
size_t TLexGenerator<CharT>::ScanString(size_t i, size_t& units) {
  using U = std::make_unsigned_t<CharT>;
  const CharT* const text = FText.data();
  const size_t size = FText.size();
  const auto quote = static_cast<U>(text[i]);
  const bool* plain = kFast.InString[quote == '"' ? 0 : 1];
  FLex.IsNarrow = false;
  // The units go to FUnits unless the text is ASCII from quote to quote.
  // Kept in locals (not in the members and the caller's count) through the loops.
  char16_t* out = FUnits.get();
  size_t n = 0, cap = FUnitRoom, cols = 1;
  const auto room = [&](size_t more) {
    if (cap - n < more) {
      out = GrowUnits(n, more);
      cap = FUnitRoom;
    }
  };
  size_t j = i + 1;
  for (;;) {
    const size_t from = j;
    if constexpr (sizeof(CharT) == 1) j = SkipPlainWords(text, j, size, static_cast<char>(quote));
    while (j < size && static_cast<U>(text[j]) < 128 && plain[static_cast<U>(text[j])]) ++j;
    if constexpr (sizeof(CharT) == 1) {
      if (from == i + 1 && j < size && static_cast<U>(text[j]) == quote) {
        // ASCII from quote to quote: the lexeme's text is the source's own bytes.
        FLex.Narrow = std::string_view(text + from, j - from);
        FLex.IsNarrow = true;
        cols += j - from + 1;
        ++j;
        break;
      }
    }
    room(j - from + 2);  // and a character of two units
    for (size_t k = from; k < j; ++k) out[n++] = static_cast<char16_t>(static_cast<U>(text[k]));
    cols += j - from;
    if (j >= size) return kUncommon;
    const auto c = static_cast<U>(text[j]);
    if (c == quote) {
      ++j;
      ++cols;
      break;
    }
    if constexpr (sizeof(CharT) == 1) {
      // Two-byte letters (most European languages) and the ASCII between them, decoded in one
      // loop up to anything else.
      const auto twoBytes = [&](size_t k, U b) {
        return b >= 0xC2 && b <= 0xDF && k + 1 < size && (static_cast<U>(text[k + 1]) & 0xC0) == 0x80;
      };
      if (twoBytes(j, c)) {
        while (j < size) {
          if (n == cap) room(1);
          const auto b = static_cast<U>(text[j]);
          if (b < 128) {
            if (!plain[b]) break;
            out[n++] = b;
            ++j;
          } else if (twoBytes(j, b)) {
            out[n++] = static_cast<char16_t>(((b & 0x1F) << 6) | (static_cast<U>(text[j + 1]) & 0x3F));
            j += 2;
          } else {
            break;
          }
          ++cols;
        }
        continue;
      }
    }
    if (c >= 128) {
      const TChar ch = CharAt(j);
      out[n++] = ch.Units[0];
      if (ch.Count == 2) out[n++] = ch.Units[1];
      cols += ch.Count;
      j += ch.Length;
      continue;
    }
    if (c != '\\' || j + 1 >= size) return kUncommon;  // NUL, a line break, or an open escape at the end
    const auto e = static_cast<U>(text[j + 1]);
    if (e < 32 || e >= 128) return kUncommon;
    if (e != 'u') {
      out[n++] = TranslateEscape(static_cast<char16_t>(e));
      j += 2;
      cols += 2;
      continue;
    }
    if (size - j < 6) return kUncommon;
    char16_t code = 0;
    for (size_t k = j + 2; k < j + 6; ++k) {
      const auto h = static_cast<U>(text[k]);
      if (!IsHexDigit(h)) return kUncommon;
      code = static_cast<char16_t>((code << 4) | HexValue(static_cast<char16_t>(h)));
    }
    out[n++] = code;
    j += 6;
    cols += 6;
  }
  FLex.Kind = ltSValue;
  FLex.SValue = FLex.IsNarrow ? UStringView() : UStringView(out, n);
  units = cols;
  return j;
}

template <class CharT>
size_t TLexGenerator<CharT>::ScanWord(size_t i, size_t& units) {
  using U = std::make_unsigned_t<CharT>;
  const CharT* const text = FText.data();
  const size_t size = FText.size();
  FLex.IsNarrow = false;
  FBuffer.clear();
  size_t j = i;
  units = 0;
  while (j < size) {
    const auto c = static_cast<U>(text[j]);
    if (c < 128) {
      if (!kFast.InWord[c]) break;
      FBuffer.push_back(static_cast<char16_t>(c));
      ++units;
      ++j;
    } else {
      const TChar ch = CharAt(j);
      FBuffer.append(ch.Units, ch.Count);
      units += ch.Count;
      j += ch.Length;
    }
  }
  if (j < size && text[j] == CharT('\\')) return kUncommon;
  FLex.Kind = WordKind(FBuffer);
  FLex.SValue = FBuffer;
  return j;
}

// Reads the common lexemes straight from the text: blanks, punctuation, numbers, words, and
// strings with simple escapes. The lexeme, position and text are those the grammar's routes
// give; anything less common (errors, the end of the text, escapes outside strings, unusual
// escapes, a lexeme at the very start of the text, whose position the routes treat apart)
// answers false with the scanner standing at the lexeme's start, for the routes to read.
template <class CharT>
bool TLexGenerator<CharT>::FastLex() {
  using U = std::make_unsigned_t<CharT>;
  SkipBlanks();
  const CharT* const text = FText.data();
  const size_t size = FText.size();
  const size_t i = FIndex;
  std::int32_t line = FPosition.Line, col = FPosition.Col;
  if (i >= size || col == 0) return false;
  const auto first = static_cast<U>(text[i]);
  const std::uint8_t cls = first < 128 ? kFast.Class[first] : std::uint8_t{ccWordStart};
  size_t j = i + 1;
  // UTF-16 units of the characters from i to j, each counting as one column.
  size_t units = 1;
  switch (cls) {
    case ccPunctuation:
      FBuffer.assign(1, static_cast<char16_t>(first));
      FLex.Kind = kFast.Punctuation[first];
      FLex.SValue = FBuffer;
      break;
    case ccDigit:
      j = ScanNumber(i);
      units = j - i;
      break;
    case ccQuote:
      j = ScanString(i, units);
      break;
    case ccWordStart:
      j = ScanWord(i, units);
      break;
    default:
      return false;
  }
  if (j == kUncommon) return false;
  FLex.Pos = {col, line};
  col += static_cast<std::int32_t>(units);
  if (j < size && text[j] == CharT('\n')) {
    ++line;
    col = 1;
  }
  FIndex = j;
  FPosition = {col, line};
  return true;
}

template <class CharT>
void TLexGenerator<CharT>::RaiseIllegal(const TTrigger& trigger, const TChar& c) const {
  const char16_t next = c.Count == 2 ? c.Units[1] : CharAt(FIndex + c.Length).Units[0];
  UString text = trigger.Message;
  text += u"\n\r>> Zawartość bufora przed wystąpieniem błędu: ";
  text += FBuffer;
  text += u"\n\rPotencjalna przyczyna błędu w buforze: ";
  text += Hex2(c.Units[0]);
  text += u" HEX ";
  text += Hex2(next);
  text += u" HEX";
  throw TJSONSyntaxError(text, FPosition.Line, FPosition.Col);
}

template <class CharT>
void TLexGenerator<CharT>::ParseBuffer(TParseProc proc, bool& escapeEnded) {
  switch (proc) {
    case TParseProc::ppNil:
      break;
    case TParseProc::ppInteger:
      FLex.Kind = ltIValue;
      if (!ParseInt64(FBuffer, FLex.IValue))
        throw EConvertError(u"'" + FBuffer + u"' is not a valid integer value");
      break;
    case TParseProc::ppDouble: {
      FLex.Kind = ltDValue;
      const auto d = TryStrToFloat(FBuffer);
      if (!d) throw EConvertError(u"'" + FBuffer + u"' is not a valid floating point value");
      FLex.DValue = *d;
      break;
    }
    case TParseProc::ppString:
      FLex.Kind = ltSValue;
      break;
    case TParseProc::ppName:
      FLex.Kind = WordKind(FBuffer);
      break;
    case TParseProc::ppEscape:
      // The first character is the escape letter; a second one is the rest of a character that
      // needs two UTF-16 units.
      if (!FEscBuffer.empty()) {
        FBuffer.push_back(TranslateEscape(FEscBuffer[0]));
        FBuffer.append(FEscBuffer, 1);
      }
      FEscBuffer.clear();
      break;
    case TParseProc::ppEscapeUChar:
      if (FEscBuffer.size() == 4) {
        char16_t code = 0;
        for (char16_t h : FEscBuffer) code = static_cast<char16_t>((code << 4) | HexValue(h));
        FBuffer.push_back(code);
        FEscBuffer.clear();
        escapeEnded = true;
      }
      break;
  }
}

template <class CharT>
bool TLexGenerator<CharT>::NextLex() {
  FLex.Pos = {};
  FLex.IsNarrow = false;
  FLex.Kind = ltNull;
  FLex.IValue = 0;
  FLex.DValue = 0;
  FBuffer.clear();
  FEscBuffer.clear();
  if (FDirect && FStartRoute == FGrammar.First && FEscRoute == FGrammar.Escape && FastLex()) return true;
  FLex.Kind = ltNull;
  FLex.IValue = 0;
  FLex.DValue = 0;
  FBuffer.clear();
  const TRoute* route = FStartRoute;
  const CharT* const text = FText.data();
  const size_t size = FText.size();
  for (;;) {
    // The common case first, with the read position in locals: an ASCII character other than
    // NUL outside escape sequences, whose trigger is not an error.
    size_t index = FIndex;
    std::int32_t line = FPosition.Line, col = FPosition.Col;
    const auto& escTable = FEscRoute->Triggers;
    while (index < size) {
      const auto u = static_cast<std::make_unsigned_t<CharT>>(text[index]);
      if (u >= 128 && route->WideRun && escTable[127] == nullptr) {
        // A non-ASCII character inside a string or word: decoded here, stepped like any other.
        const TChar c = CharAt(index);
        if (route->Run->Class == TTriggerClass::UseRoute) FBuffer.append(c.Units, c.Count);
        index += c.Length;
        col += c.Count - 1;
        StepOnto(text, index, size, line, col);
        continue;
      }
      if (u >= 128 || u == 0 || escTable[u] != nullptr) break;
      const TTrigger* trigger = route->Triggers[u];
      if (trigger == route->Run) {
        // A run of characters that only continue the route (the body of a string, word or
        // number, or blanks between lexemes), taken in one go; the position moves as if
        // stepped one by one.
        const bool* continues = route->Continues.data();
        const size_t from = index;
        ++index;
        if (continues[static_cast<unsigned char>('\n')]) {
          for (; index < size; ++index) {
            const auto next = static_cast<std::make_unsigned_t<CharT>>(text[index]);
            if (next >= 256 || !continues[next]) break;
            if (next == '\n') {
              ++line;
              col = 1;
            } else {
              ++col;
            }
          }
        } else {
          while (index < size) {
            const auto next = static_cast<std::make_unsigned_t<CharT>>(text[index]);
            if (next >= 256 || !continues[next]) break;
            ++index;
          }
          col += static_cast<std::int32_t>(index - from - 1);
        }
        StepOnto(text, index, size, line, col);  // onto the character after the run
        if (trigger->Class == TTriggerClass::UseRoute) AppendFrom(from, index);
        continue;
      }
      if (trigger->Class == TTriggerClass::Error) break;
      if (trigger->Class == TTriggerClass::UseRoute) FBuffer.push_back(static_cast<char16_t>(u));
      if ((trigger->Procs & ttBuffer) && FLex.Pos.Col == 0) FLex.Pos = {col, line};
      if (!(trigger->Procs & ttBack)) StepOnto(text, ++index, size, line, col);
      FIndex = index;
      FPosition = {col, line};
      bool escapeEnded = false;
      ParseBuffer(trigger->Parse, escapeEnded);
      if (!(trigger->Procs & ttEnd)) {
        route = trigger->Next;
        continue;
      }
      FStartRoute = trigger->Next;
      FLex.SValue = FBuffer;
      return true;
    }
    FIndex = index;
    FPosition = {col, line};
    // Everything else: decoded characters, escape sequences, errors and the end of the text.
    const TChar c = CharAt(FIndex);
    const unsigned code = c.Units[0] < 128 ? c.Units[0] : 127;
    const TTrigger* trigger = FEscRoute->Triggers[code];
    const bool inEscape = trigger != nullptr;
    if (!inEscape) {
      trigger = route->Triggers[code];
      if (trigger == route->Run && c.Units[0] >= 128) {
        if (trigger->Class == TTriggerClass::UseRoute) FBuffer.append(c.Units, c.Count);
        Step(c);
        continue;
      }
    }
    if (trigger->Class == TTriggerClass::Error) {
      if (c.Units[0] == 0) return false;  // end of text
      RaiseIllegal(*trigger, c);
    }
    if (trigger->Class == TTriggerClass::UseRoute) (inEscape ? FEscBuffer : FBuffer).append(c.Units, c.Count);
    if ((trigger->Procs & ttBuffer) && FLex.Pos.Col == 0) FLex.Pos = FPosition;
    if (!(trigger->Procs & ttBack)) {
      if (c.Units[0] == 0 && FIndex >= FText.size()) {
        // Nothing left to step past: the text ends without an ending trigger.
        if (!(trigger->Procs & ttEnd)) return false;
      } else {
        Step(c);
      }
    }
    bool escapeEnded = false;
    ParseBuffer(trigger->Parse, escapeEnded);
    if (inEscape) {
      FEscRoute = (escapeEnded || (trigger->Procs & ttEnd)) ? FGrammar.Escape : trigger->Next;
      continue;
    }
    if (!(trigger->Procs & ttEnd)) {
      route = trigger->Next;
      continue;
    }
    FStartRoute = trigger->Next;
    FLex.SValue = FBuffer;
    return true;
  }
}

template class TLexGenerator<char16_t>;
template class TLexGenerator<char>;

}  // namespace vx::json
