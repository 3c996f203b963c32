#pragma once
// The table-driven scanner: the grammar's routes, one trigger per character code 0..127 (codes
// above 127 use entry 127), walked character by character. It reads text exactly as the
// library's scanner must and serves the tests as the oracle the library's scanner is compared
// with; it is kept plain, without any shortcut.
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/ustring.h"
#include "json/model/errors.h"
#include "json/model/variant_text.h"
#include "json/read/scanner.h"

namespace vx::json::testing {

enum class TTriggerClass : std::uint8_t { UseRoute, Jump, Error };
// Trigger procedures, as bits.
enum TTriggerProc : std::uint8_t { ttBuffer = 1, ttEnd = 2, ttBack = 4 };
enum class TParseProc : std::uint8_t {
  ppNil,
  ppInteger,
  ppDouble,
  ppString,
  ppName,
  ppEscape,
  ppEscapeUChar
};

struct TRoute;

struct TTrigger {
  TTriggerClass Class = TTriggerClass::Jump;
  const TRoute* Next = nullptr;
  std::uint8_t Procs = 0;
  TParseProc Parse = TParseProc::ppNil;
};

struct TRoute {
  std::array<const TTrigger*, 128> Triggers{};
  // Sets the trigger for every listed code whose entry is still empty (the first addition wins).
  void Add(const TTrigger* t, std::string_view chars) {
    for (const char c : chars) AddRange(t, static_cast<unsigned char>(c), static_cast<unsigned char>(c));
  }
  void AddRange(const TTrigger* t, int from, int to) {
    for (int c = from; c <= to; ++c) {
      if (Triggers[static_cast<std::size_t>(c)] == nullptr) Triggers[static_cast<std::size_t>(c)] = t;
    }
  }
  // Fills the entries that are still empty.
  void AddDefault(const TTrigger* t) { AddRange(t, 0, 127); }
};

class TJSONGrammar {
 public:
  [[nodiscard]] static const TJSONGrammar& Instance() {
    static const TJSONGrammar grammar;
    return grammar;
  }
  const TRoute* First;
  const TRoute* Escape;

 private:
  TJSONGrammar() {
    using enum TTriggerClass;
    using enum TParseProc;
    // NUL, tab, line feed, carriage return, space, quotation mark, apostrophe, , . : [ ] { }
    constexpr std::string_view kNumberEnd{"\0\t\n\r \"',.:[]{}", 15};
    constexpr std::string_view kPunctuation = ",.:[]{}";
    constexpr std::string_view kBlank{"\0\t\n\r ", 5};
    TRoute* first = Route();
    TRoute* name = Route();
    TRoute* str = Route();
    TRoute* str2 = Route();
    TRoute* intR = Route();
    TRoute* dbl = Route();
    TRoute* exp = Route();
    TRoute* expPM = Route();
    TRoute* expE = Route();
    TRoute* escape = Route();
    TRoute* escapeRoute = Route();
    TRoute* escapeUChar = Route();
    const TTrigger* illegal = Trigger(Error, nullptr, 0, ppNil);

    first->Add(Trigger(UseRoute, first, ttBuffer | ttEnd, ppName), kPunctuation);
    const TTrigger* word = Trigger(UseRoute, name, ttBuffer, ppNil);
    first->Add(word, "$_");
    first->AddRange(word, 'A', 'Z');
    first->AddRange(word, 'a', 'z');
    first->AddRange(word, 127, 127);
    first->Add(Trigger(Jump, str, ttBuffer, ppNil), "\"");
    first->Add(Trigger(Jump, str2, ttBuffer, ppNil), "'");
    first->AddRange(Trigger(UseRoute, intR, ttBuffer, ppNil), '0', '9');
    first->Add(Trigger(Jump, first, 0, ppNil), "\t\n\r ");
    first->Add(Trigger(UseRoute, intR, ttBuffer, ppNil), "-");
    first->AddDefault(illegal);

    const TTrigger* wordEnd = Trigger(Jump, first, ttEnd | ttBack, ppName);
    name->Add(wordEnd, kBlank);
    name->Add(wordEnd, "\"'");
    name->Add(wordEnd, kPunctuation);
    name->AddDefault(Trigger(UseRoute, name, 0, ppNil));

    for (auto [route, quote] : {std::pair{str, '"'}, std::pair{str2, '\''}}) {
      route->Add(Trigger(Jump, first, ttEnd, ppString), std::string_view(&quote, 1));
      route->Add(illegal, std::string_view("\0\n\r", 3));
      route->AddDefault(Trigger(UseRoute, route, 0, ppNil));
    }

    intR->AddRange(Trigger(UseRoute, intR, 0, ppNil), '0', '9');
    intR->Add(Trigger(UseRoute, dbl, 0, ppNil), ".");
    intR->Add(Trigger(UseRoute, exp, 0, ppNil), "Ee");
    intR->Add(Trigger(Jump, first, ttEnd | ttBack, ppInteger), kNumberEnd);
    intR->AddDefault(illegal);
    dbl->AddRange(Trigger(UseRoute, dbl, 0, ppNil), '0', '9');
    dbl->Add(Trigger(UseRoute, exp, 0, ppNil), "Ee");
    dbl->Add(Trigger(Jump, first, ttEnd | ttBack, ppDouble), kNumberEnd);
    dbl->AddDefault(illegal);
    exp->Add(Trigger(UseRoute, expPM, 0, ppNil), "+-");
    exp->AddRange(Trigger(UseRoute, expE, 0, ppNil), '0', '9');
    exp->AddDefault(illegal);
    expPM->AddRange(Trigger(UseRoute, expE, 0, ppNil), '0', '9');
    expPM->AddDefault(illegal);
    expE->AddRange(Trigger(UseRoute, expE, 0, ppNil), '0', '9');
    expE->Add(Trigger(Jump, first, ttEnd | ttBack, ppDouble), kNumberEnd);
    expE->AddDefault(illegal);

    // The escape machine, consulted before the main route.
    escape->Add(Trigger(Jump, escapeRoute, 0, ppNil), "\\");
    escapeRoute->Add(Trigger(Jump, escapeUChar, ttBuffer, ppNil), "u");
    escapeRoute->AddDefault(Trigger(UseRoute, escape, ttBuffer | ttEnd, ppEscape));
    const TTrigger* hex = Trigger(UseRoute, escapeUChar, 0, ppEscapeUChar);
    escapeUChar->AddRange(hex, '0', '9');
    escapeUChar->AddRange(hex, 'A', 'F');
    escapeUChar->AddRange(hex, 'a', 'f');
    escapeUChar->AddDefault(illegal);
    First = first;
    Escape = escape;
  }
  TRoute* Route() { return FRoutes.emplace_back(std::make_unique<TRoute>()).get(); }
  const TTrigger* Trigger(TTriggerClass cls, const TRoute* next, std::uint8_t procs, TParseProc parse) {
    return FTriggers.emplace_back(std::make_unique<TTrigger>(TTrigger{cls, next, procs, parse})).get();
  }
  std::vector<std::unique_ptr<TRoute>> FRoutes;
  std::vector<std::unique_ptr<TTrigger>> FTriggers;
};

// The scanner over the routes, with the library scanner's interface for reading lexemes.
template <class CharT>
class TRouteScanner {
 public:
  explicit TRouteScanner(std::basic_string_view<CharT> text)
      : FText(text), FGrammar(TJSONGrammar::Instance()), FStart(FGrammar.First), FEscRoute(FGrammar.Escape) {}

  [[nodiscard]] TLexemType Check(TLexemSet kinds) {
    if (!FPending) FPending = NextLex();
    if (!FPending) return ltNil;
    return (kinds & (1u << FLex.Kind)) ? FLex.Kind : ltNil;
  }
  [[nodiscard]] bool CheckKill(TLexemType kind) {
    if (Check(LexSet({kind})) != kind) return false;
    KillLex();
    return true;
  }
  void KillLex() noexcept { FPending = false; }
  [[nodiscard]] const TLexeme& Current() const noexcept { return FLex; }
  [[nodiscard]] TPosition Position() const noexcept { return FPosition; }

 private:
  struct TChar {
    char16_t Units[2];
    std::uint8_t Count;   // UTF-16 units
    std::uint8_t Length;  // code units of the text; 0 at its end
  };

  // The character at the index: a surrogate pair is one character; UTF-8 is decoded, anything
  // malformed reading as one U+FFFD per byte.
  [[nodiscard]] TChar CharAt(std::size_t index) const {
    if (index >= FText.size()) return {{0, 0}, 1, 0};
    if constexpr (sizeof(CharT) == 2) {
      const char16_t u = FText[index];
      if (u >= 0xD800 && u <= 0xDBFF && index + 1 < FText.size() && FText[index + 1] >= 0xDC00 &&
          FText[index + 1] <= 0xDFFF)
        return {{u, FText[index + 1]}, 2, 2};
      return {{u, 0}, 1, 1};
    } else {
      const auto b = [&](std::size_t k) -> unsigned {
        return index + k < FText.size() ? static_cast<unsigned char>(FText[index + k]) : 0u;
      };
      const unsigned b0 = b(0);
      if (b0 < 0x80) return {{static_cast<char16_t>(b0), 0}, 1, 1};
      std::size_t n = b0 >= 0xF8 ? 0 : b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
      std::uint32_t cp = b0 & (0x7F >> n);
      for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) n = 0;
        cp = cp << 6 | (b(k) & 0x3F);
      }
      static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
      if (n == 0 || cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {{0xFFFD, 0}, 1, 1};
      if (cp < 0x10000) return {{static_cast<char16_t>(cp), 0}, 1, static_cast<std::uint8_t>(n)};
      cp -= 0x10000;
      return {
          {static_cast<char16_t>(0xD800 + (cp >> 10)), static_cast<char16_t>(0xDC00 + (cp & 0x3FF))}, 2, 4};
    }
  }

  void Step(const TChar& c) {
    FIndex += c.Length;
    FPosition.Col += c.Count - 1;
    if (FIndex < FText.size() && FText[FIndex] == CharT('\n')) {
      ++FPosition.Line;
      FPosition.Col = 1;
    } else {
      ++FPosition.Col;
    }
  }

  [[noreturn]] void RaiseIllegal(const TChar& c) const {
    const auto hex = [](char16_t code) {
      static constexpr char16_t kHex[] = u"0123456789ABCDEF";
      UString s;
      for (int shift = 12; shift >= 0; shift -= 4) {
        if (((code >> shift) & 15) != 0 || !s.empty() || shift <= 4) s.push_back(kHex[(code >> shift) & 15]);
      }
      return s;
    };
    const char16_t next = c.Count == 2 ? c.Units[1] : CharAt(FIndex + c.Length).Units[0];
    throw TJSONSyntaxError(u"Unexpected token ILLEGAL\n\r>> Zawartość bufora przed wystąpieniem błędu: " +
                               FBuffer + u"\n\rPotencjalna przyczyna błędu w buforze: " + hex(c.Units[0]) +
                               u" HEX " + hex(next) + u" HEX",
                           FPosition.Line, FPosition.Col);
  }

  static TLexemType WordKind(UStringView word) {
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

  // Answers whether an escape sequence ended.
  bool Parse(TParseProc proc) {
    switch (proc) {
      case TParseProc::ppInteger: {
        FLex.Kind = ltIValue;
        const std::optional<std::int64_t> v = TryStrToInt64(FBuffer);
        if (!v) throw EConvertError(u"'" + FBuffer + u"' is not a valid integer value");
        FLex.IValue = *v;
        return false;
      }
      case TParseProc::ppDouble: {
        FLex.Kind = ltDValue;
        const std::optional<double> d = TryStrToFloat(FBuffer);
        if (!d) throw EConvertError(u"'" + FBuffer + u"' is not a valid floating point value");
        FLex.DValue = *d;
        return false;
      }
      case TParseProc::ppString:
        FLex.Kind = ltSValue;
        return false;
      case TParseProc::ppName:
        FLex.Kind = WordKind(FBuffer);
        return false;
      case TParseProc::ppEscape:
        FBuffer.push_back(FEscBuffer[0] == u'b'   ? 8
                          : FEscBuffer[0] == u'f' ? 12
                          : FEscBuffer[0] == u'n' ? 10
                          : FEscBuffer[0] == u'r' ? 13
                          : FEscBuffer[0] == u't' ? 9
                          : FEscBuffer[0] == u'v' ? 11
                                                  : FEscBuffer[0]);
        FBuffer.append(FEscBuffer, 1);
        FEscBuffer.clear();
        return false;
      case TParseProc::ppEscapeUChar:
        if (FEscBuffer.size() < 4) return false;
        FBuffer.push_back(static_cast<char16_t>(std::stoi(UToUtf8(FEscBuffer), nullptr, 16)));
        FEscBuffer.clear();
        return true;
      default:
        return false;
    }
  }

  bool NextLex() {
    FLex = TLexeme();
    FBuffer.clear();
    FEscBuffer.clear();
    const TRoute* route = FStart;
    for (;;) {
      const TChar c = CharAt(FIndex);
      const std::size_t code = c.Units[0] < 128 ? c.Units[0] : 127;
      const TTrigger* trigger = FEscRoute->Triggers[code];
      const bool inEscape = trigger != nullptr;
      if (!inEscape) trigger = route->Triggers[code];
      if (trigger->Class == TTriggerClass::Error) {
        if (c.Units[0] == 0) return false;
        RaiseIllegal(c);
      }
      if (trigger->Class == TTriggerClass::UseRoute)
        (inEscape ? FEscBuffer : FBuffer).append(c.Units, c.Count);
      if ((trigger->Procs & ttBuffer) && FLex.Pos.Col == 0) FLex.Pos = FPosition;
      if (!(trigger->Procs & ttBack)) {
        if (c.Length == 0) {
          if (!(trigger->Procs & ttEnd)) return false;  // the text ends without an ending trigger
        } else {
          Step(c);
        }
      }
      const bool escapeEnded = Parse(trigger->Parse);
      if (inEscape) {
        FEscRoute = (escapeEnded || (trigger->Procs & ttEnd)) ? FGrammar.Escape : trigger->Next;
        continue;
      }
      if (!(trigger->Procs & ttEnd)) {
        route = trigger->Next;
        continue;
      }
      FStart = trigger->Next;
      FLex.SValue = FBuffer;
      return true;
    }
  }

  std::basic_string_view<CharT> FText;
  std::size_t FIndex = 0;
  TPosition FPosition;
  const TJSONGrammar& FGrammar;
  const TRoute* FStart;
  const TRoute* FEscRoute;
  TLexeme FLex;
  bool FPending = false;
  UString FBuffer;
  UString FEscBuffer;
};

}  // namespace vx::json::testing
