#pragma once
// The scanner's grammar: routes (scanner states) with one trigger per character code 0..127
// (codes above 127 use entry 127), built once per process.
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/ustring.h"

namespace vx::json {

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
  UString Message;  // error triggers
};

struct TRoute {
  explicit TRoute(std::u16string_view name) : Name(name) {}
  // Sets the trigger for every listed code whose entry is still empty (the first addition wins).
  void Add(const TTrigger* trigger, std::string_view chars);
  void AddRange(const TTrigger* trigger, int from, int to);
  // Fills the entries that are still empty.
  void AddDefault(const TTrigger* trigger);

  UString Name;
  std::array<const TTrigger*, 128> Triggers{};
  // The route's trigger that only continues it (same route, no procedures, no parse), if any,
  // and the characters that take it while no escape sequence is open: the scanner takes runs
  // of them in one go. Entries 128..255 stay false.
  const TTrigger* Run = nullptr;
  std::array<bool, 256> Continues{};
  // Whether non-ASCII characters (looked up as entry 127) take the run trigger too.
  bool WideRun = false;
};

class TJSONGrammar {
 public:
  // The one grammar of the process.
  [[nodiscard]] static const TJSONGrammar& Instance();

  const TRoute* First;
  const TRoute* Escape;
  const TRoute* EscapeRoute;

 private:
  TJSONGrammar();
  TRoute* NewRoute(std::u16string_view name);
  void FindRuns(const TRoute* escape);
  const TTrigger* NewTrigger(TTriggerClass cls, const TRoute* next, std::uint8_t procs, TParseProc parse,
                             std::u16string_view message = {});
  std::vector<std::unique_ptr<TRoute>> FRoutes;
  std::vector<std::unique_ptr<TTrigger>> FTriggers;
};

}  // namespace vx::json
