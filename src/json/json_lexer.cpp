#include "json/json_lexer.h"

#include <type_traits>

#include "json/json_errors.h"
#include "json/variant_text.h"

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
  if (SameTextAscii(word, u"TRUE")) return ltTrue;
  if (SameTextAscii(word, u"FALSE")) return ltFalse;
  if (SameTextAscii(word, u"Null")) return ltNull;
  return ltName;
}

// Integer text: optional minus sign and decimal digits (leading zeros allowed).
bool ParseInt64(UStringView s, std::int64_t& out) {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == u'-';
  if (negative) i = 1;
  if (i == s.size()) return false;
  std::uint64_t v = 0;
  const std::uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
  for (; i < s.size(); ++i) {
    const char16_t c = s[i];
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
TLexGenerator<CharT>::TLexGenerator(std::basic_string_view<CharT> text)
    : FText(text),
      FGrammar(TJSONGrammar::Instance()),
      FStartRoute(FGrammar.First),
      FEscRoute(FGrammar.Escape) {
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
  // Moving onto a line feed starts a new line at column 1; any other step adds one column.
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
  FLex.Kind = ltNull;
  FLex.IValue = 0;
  FLex.DValue = 0;
  FBuffer.clear();
  FEscBuffer.clear();
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
        if (index < size && text[index] == CharT('\n')) {
          ++line;
          col = 1;
        } else {
          ++col;
        }
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
        // The step onto the character after the run.
        if (index < size && text[index] == CharT('\n')) {
          ++line;
          col = 1;
        } else {
          ++col;
        }
        if (trigger->Class == TTriggerClass::UseRoute) {
          const size_t old = FBuffer.size();
          FBuffer.resize(old + (index - from));
          char16_t* dst = FBuffer.data() + old;
          for (size_t k = from; k < index; ++k) {
            *dst++ = static_cast<char16_t>(static_cast<std::make_unsigned_t<CharT>>(text[k]));
          }
        }
        continue;
      }
      if (trigger->Class == TTriggerClass::Error) break;
      if (trigger->Class == TTriggerClass::UseRoute) FBuffer.push_back(static_cast<char16_t>(u));
      if ((trigger->Procs & ttBuffer) && FLex.Pos.Col == 0) FLex.Pos = {col, line};
      if (!(trigger->Procs & ttBack)) {
        ++index;
        if (index < size && text[index] == CharT('\n')) {
          ++line;
          col = 1;
        } else {
          ++col;
        }
      }
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
