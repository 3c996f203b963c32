#include "json/read/scanner.h"

#include <type_traits>

#include "json/model/errors.h"
#include "json/model/variant_text.h"

namespace vx::json {

namespace {
// What an ASCII character is to the scanner; characters from 128 on count as letters.
enum TCharClass : std::uint8_t { ccOther, ccBlank, ccPunctuation, ccQuote, ccDigit, ccLetter, ccBackslash };

struct TCharTable {
  TCharClass Class[128] = {};
  // Characters that end a word or a number: NUL, blanks, quotes and punctuation.
  bool EndsLexeme[128] = {};
};

constexpr TCharTable kChars = [] {
  TCharTable t{};
  const auto set = [&t](std::string_view chars, TCharClass cls) {
    for (const char c : chars) t.Class[static_cast<unsigned char>(c)] = cls;
  };
  set("\t\n\r ", ccBlank);
  set(",.:[]{}", ccPunctuation);
  set("\"'", ccQuote);
  set("-0123456789", ccDigit);
  set("$_ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\x7f", ccLetter);
  set("\\", ccBackslash);
  for (int c = 0; c < 128; ++c) {
    const TCharClass cls = t.Class[c];
    t.EndsLexeme[c] = c == 0 || cls == ccBlank || cls == ccPunctuation || cls == ccQuote;
  }
  return t;
}();

TCharClass ClassOf(char16_t c) {
  return c < 128 ? kChars.Class[c] : ccLetter;
}

bool EndsLexeme(char16_t c) {
  return c < 128 && kChars.EndsLexeme[c];
}

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

int HexValue(char16_t c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The character a backslash and this character stand for.
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

// The kind of a punctuation character or a word by its text.
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

// A code in uppercase hexadecimal with at least two digits.
UString Hex2(char16_t code) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  UString s;
  for (int shift = 12; shift >= 0; shift -= 4) {
    const int d = (code >> shift) & 15;
    if (d != 0 || !s.empty() || shift <= 4) s.push_back(kHex[d]);
  }
  return s;
}

// Optional minus sign and decimal digits (leading zeros allowed) that fit 64 bits.
bool ParseInt64(UStringView s, std::int64_t& out) {
  const bool negative = !s.empty() && s[0] == u'-';
  if (negative) s.remove_prefix(1);
  if (s.empty()) return false;
  const std::uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
  std::uint64_t v = 0;
  for (const char16_t c : s) {
    if (!IsDigit(c)) return false;
    const unsigned d = c - u'0';
    if (v > (limit - d) / 10) return false;
    v = v * 10 + d;
  }
  out = negative ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
  return true;
}

}  // namespace

template <class CharT>
TLexGenerator<CharT>::TLexGenerator(std::basic_string_view<CharT> text) : FText(text) {
  FBuffer.reserve(32);
}

template <class CharT>
typename TLexGenerator<CharT>::TChar TLexGenerator<CharT>::CharAt(std::size_t index) const noexcept {
  if (index >= FText.size()) return {{0, 0}, 1, 0};
  if constexpr (sizeof(CharT) == 2) {
    // A surrogate pair is one character, as the same character read from UTF-8 is.
    const char16_t u = FText[index];
    if (u >= 0xD800 && u <= 0xDBFF && index + 1 < FText.size()) {
      const char16_t low = FText[index + 1];
      if (low >= 0xDC00 && low <= 0xDFFF) return {{u, low}, 2, 2};
    }
    return {{u, 0}, 1, 1};
  } else {
    const auto b0 = static_cast<unsigned char>(FText[index]);
    if (b0 < 0x80) return {{b0, 0}, 1, 1};
    return DecodeUtf8(index);
  }
}

template <class CharT>
typename TLexGenerator<CharT>::TChar TLexGenerator<CharT>::DecodeUtf8(std::size_t index) const noexcept {
  // Anything malformed reads as one U+FFFD per byte.
  const TChar bad{{0xFFFD, 0}, 1, 1};
  const auto b0 = static_cast<unsigned char>(FText[index]);
  const auto cont = [&](std::size_t k) -> int {
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

template <class CharT>
void TLexGenerator<CharT>::Step(const TChar& c) noexcept {
  FIndex += c.Length;
  FPosition.Col += c.Count - 1;
  if (FIndex < FText.size() && FText[FIndex] == CharT('\n')) {
    ++FPosition.Line;
    FPosition.Col = 1;
  } else {
    ++FPosition.Col;
  }
}

template <class CharT>
void TLexGenerator<CharT>::StepPast(std::size_t end) noexcept {
  FPosition.Col += static_cast<std::int32_t>(end - FIndex);
  FIndex = end;
  if (FIndex < FText.size() && FText[FIndex] == CharT('\n')) {
    ++FPosition.Line;
    FPosition.Col = 1;
  }
}

template <class CharT>
template <class Continues>
void TLexGenerator<CharT>::TakeRun(Continues continues) {
  using U = std::make_unsigned_t<CharT>;
  std::size_t end = FIndex;
  while (end < FText.size() && static_cast<U>(FText[end]) < 128 &&
         continues(static_cast<char16_t>(FText[end])))
    ++end;
  if (end == FIndex) return;
  const std::size_t used = FBuffer.size();
  FBuffer.resize(used + (end - FIndex));
  for (std::size_t i = FIndex; i < end; ++i) FBuffer[used + i - FIndex] = static_cast<U>(FText[i]);
  StepPast(end);
}

template <class CharT>
void TLexGenerator<CharT>::RaiseIllegal(const TChar& c) const {
  const char16_t next = c.Count == 2 ? c.Units[1] : CharAt(FIndex + c.Length).Units[0];
  UString text = u"Unexpected token ILLEGAL\n\r>> Zawartość bufora przed wystąpieniem błędu: ";
  text += FBuffer;
  text += u"\n\rPotencjalna przyczyna błędu w buforze: ";
  text += Hex2(c.Units[0]);
  text += u" HEX ";
  text += Hex2(next);
  text += u" HEX";
  throw TJSONSyntaxError(text, FPosition.Line, FPosition.Col);
}

template <class CharT>
bool TLexGenerator<CharT>::TakePunctuation(TLexemType kind) noexcept {
  static constexpr char kCharOf[] = {0, 0, 0, 0, 0, '[', ']', '{', '}', 0, ':', '.', ',', 0, 0, 0};
  const char wanted = kCharOf[kind];
  if (wanted == 0) return false;
  for (; FIndex < FText.size(); StepPast(FIndex + 1)) {
    const CharT c = FText[FIndex];
    if (c == CharT(wanted)) {
      StepPast(FIndex + 1);
      return true;
    }
    if (ClassOf(static_cast<std::make_unsigned_t<CharT>>(c)) != ccBlank) break;
  }
  return false;
}

// Between lexemes: blanks are skipped, and the first other character decides what follows.
// A backslash anywhere starts an escape sequence, whose character goes to the buffer of the
// lexeme being read, wherever the scanner stands (outside strings too).
template <class CharT>
bool TLexGenerator<CharT>::NextLex() {
  FLex = TLexeme();
  FBuffer.clear();
  for (;;) {
    const TChar c = CharAt(FIndex);
    const char16_t u = c.Units[0];
    switch (ClassOf(u)) {
      case ccBlank:
        Step(c);
        continue;
      case ccBackslash:
        if (!ReadEscape()) return false;
        continue;
      case ccPunctuation:
        Append(c);
        MarkStart();
        Step(c);
        return Finish(WordKind(FBuffer));
      case ccQuote:
        MarkStart();
        Step(c);
        return ReadString(u);
      case ccDigit:
        Append(c);
        MarkStart();
        Step(c);
        return ReadNumber();
      case ccLetter:
        Append(c);
        MarkStart();
        Step(c);
        return ReadWord();
      default:
        if (u == 0) return false;  // the end of the text, or a NUL in it: nothing more is read
        RaiseIllegal(c);
    }
  }
}

// After the opening quote. Raw control characters are taken, except NUL, line feed and carriage
// return.
template <class CharT>
bool TLexGenerator<CharT>::ReadString(char16_t quote) {
  for (;;) {
    TakeRun([quote](char16_t u) { return u >= 32 && u != quote && u != u'\\'; });
    const TChar c = CharAt(FIndex);
    const char16_t u = c.Units[0];
    if (u == quote) {
      Step(c);
      return Finish(ltSValue);
    }
    if (u == u'\\') {
      if (!ReadEscape()) return false;
    } else if (u == 0) {
      return false;
    } else if (u == u'\n' || u == u'\r') {
      RaiseIllegal(c);
    } else {
      Append(c);
      Step(c);
    }
  }
}

// After the first character; the word ends before a blank, a quote, punctuation or NUL.
template <class CharT>
bool TLexGenerator<CharT>::ReadWord() {
  for (;;) {
    TakeRun([](char16_t u) { return !kChars.EndsLexeme[u] && u != u'\\'; });
    const TChar c = CharAt(FIndex);
    if (c.Units[0] == u'\\') {
      if (!ReadEscape()) return false;
    } else if (EndsLexeme(c.Units[0])) {
      return Finish(WordKind(FBuffer));
    } else {
      Append(c);
      Step(c);
    }
  }
}

// After the first digit or minus sign: digits, then optionally "." and digits, then
// optionally "E" or "e", a sign and digits. A number with "." or an exponent is a float. The
// number ends before the characters that end a word; any other character is illegal.
template <class CharT>
bool TLexGenerator<CharT>::ReadNumber() {
  enum { Int, Fraction, Exponent, ExponentSign, ExponentDigits } part = Int;
  for (;;) {
    const std::size_t from = FIndex;
    TakeRun([](char16_t u) { return IsDigit(u); });
    if (FIndex != from && (part == Exponent || part == ExponentSign)) part = ExponentDigits;
    const TChar c = CharAt(FIndex);
    const char16_t u = c.Units[0];
    if (u == u'\\') {
      if (!ReadEscape()) return false;
      continue;
    }
    auto next = part;
    if (u == u'.' && part == Int) {
      next = Fraction;
    } else if ((u == u'E' || u == u'e') && (part == Int || part == Fraction)) {
      next = Exponent;
    } else if ((u == u'+' || u == u'-') && part == Exponent) {
      next = ExponentSign;
    }
    if (next != part) {
      part = next;
      Append(c);
      Step(c);
      continue;
    }
    if (part == Exponent || part == ExponentSign || !EndsLexeme(u)) {
      if (u == 0) return false;
      RaiseIllegal(c);
    }
    if (part == Int) {
      if (!ParseInt64(FBuffer, FLex.IValue))
        throw EConvertError(u"'" + FBuffer + u"' is not a valid integer value");
      return Finish(ltIValue);
    }
    const std::optional<double> d = TryStrToFloat(FBuffer);
    if (!d) throw EConvertError(u"'" + FBuffer + u"' is not a valid floating point value");
    FLex.DValue = *d;
    return Finish(ltDValue);
  }
}

// At a backslash. "\u" takes four hexadecimal digits and gives that code unit; a backslash
// before any other character gives the character, translated when it is one of b f n r t v.
template <class CharT>
bool TLexGenerator<CharT>::ReadEscape() {
  Step(CharAt(FIndex));
  const TChar c = CharAt(FIndex);
  MarkStart();
  if (c.Units[0] == u'u') {
    Step(c);
    char16_t code = 0;
    for (int n = 0; n < 4; ++n) {
      const TChar h = CharAt(FIndex);
      const int value = HexValue(h.Units[0]);
      if (value < 0) {
        if (h.Units[0] == 0) return false;
        RaiseIllegal(h);
      }
      code = static_cast<char16_t>(code << 4 | value);
      Step(h);
    }
    FBuffer.push_back(code);
    return true;
  }
  if (c.Length != 0) Step(c);  // at the end of the text the escaped character is a NUL
  FBuffer.push_back(TranslateEscape(c.Units[0]));
  if (c.Count == 2) FBuffer.push_back(c.Units[1]);
  return true;
}

template class TLexGenerator<char16_t>;
template class TLexGenerator<char>;

}  // namespace vx::json
