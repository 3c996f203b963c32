#include "json/read/grammar.h"

namespace vx::json {

namespace {
constexpr std::u16string_view kIllegal = u"Unexpected token ILLEGAL";
// NUL, tab, line feed, carriage return, space, quotation mark, apostrophe, , . : [ ] { }
constexpr std::string_view kNumberEnd{"\0\t\n\r \"',.:[]{}", 15};
constexpr std::string_view kPunctuation = ",.:[]{}";
constexpr std::string_view kBlank{"\0\t\n\r ", 5};
}  // namespace

void TRoute::Add(const TTrigger* trigger, std::string_view chars) {
  for (char c : chars) {
    auto& slot = Triggers[static_cast<unsigned char>(c)];
    if (slot == nullptr) slot = trigger;
  }
}

void TRoute::AddRange(const TTrigger* trigger, int from, int to) {
  for (int c = from; c <= to; ++c) {
    if (Triggers[c] == nullptr) Triggers[c] = trigger;
  }
}

void TRoute::AddDefault(const TTrigger* trigger) {
  AddRange(trigger, 0, 127);
}

const TJSONGrammar& TJSONGrammar::Instance() {
  static const TJSONGrammar grammar;
  return grammar;
}

TRoute* TJSONGrammar::NewRoute(std::u16string_view name) {
  FRoutes.push_back(std::make_unique<TRoute>(name));
  return FRoutes.back().get();
}

const TTrigger* TJSONGrammar::NewTrigger(TTriggerClass cls, const TRoute* next, std::uint8_t procs,
                                         TParseProc parse, std::u16string_view message) {
  auto t = std::make_unique<TTrigger>();
  t->Class = cls;
  t->Next = next;
  t->Procs = procs;
  t->Parse = parse;
  t->Message = UString(message);
  FTriggers.push_back(std::move(t));
  return FTriggers.back().get();
}

void TJSONGrammar::FindRuns(const TRoute* escape) {
  for (auto& route : FRoutes) {
    for (const TTrigger* t : route->Triggers) {
      if (t && t->Class != TTriggerClass::Error && t->Next == route.get() && t->Procs == 0 &&
          t->Parse == TParseProc::ppNil) {
        route->Run = t;
        break;
      }
    }
    if (route->Run == nullptr) continue;
    for (unsigned c = 1; c < 128; ++c) {
      route->Continues[c] = route->Triggers[c] == route->Run && escape->Triggers[c] == nullptr;
    }
    route->WideRun = route->Continues[127];
  }
}

TJSONGrammar::TJSONGrammar() {
  using enum TTriggerClass;
  using enum TParseProc;
  TRoute* first = NewRoute(u"First");
  TRoute* name = NewRoute(u"Name");
  TRoute* str = NewRoute(u"String");
  TRoute* str2 = NewRoute(u"String2");
  TRoute* intR = NewRoute(u"Int");
  TRoute* dbl = NewRoute(u"Double");
  TRoute* exp = NewRoute(u"Exp");
  TRoute* expPM = NewRoute(u"ExpPM");
  TRoute* expE = NewRoute(u"ExpE");
  TRoute* escape = NewRoute(u"Escape");
  TRoute* escapeRoute = NewRoute(u"EscapeRoute");
  TRoute* escapeUChar = NewRoute(u"EscapeUChar");
  const TTrigger* illegal = NewTrigger(Error, nullptr, 0, ppNil, kIllegal);

  first->Add(NewTrigger(UseRoute, first, ttBuffer | ttEnd, ppName), kPunctuation);
  {
    const TTrigger* t = NewTrigger(UseRoute, name, ttBuffer, ppNil);
    first->Add(t, "$_");
    first->AddRange(t, 'A', 'Z');
    first->AddRange(t, 'a', 'z');
    first->AddRange(t, 127, 127);
  }
  first->Add(NewTrigger(Jump, str, ttBuffer, ppNil), "\"");
  first->Add(NewTrigger(Jump, str2, ttBuffer, ppNil), "'");
  first->AddRange(NewTrigger(UseRoute, intR, ttBuffer, ppNil), '0', '9');
  first->Add(NewTrigger(Jump, first, 0, ppNil), "\t\n\r ");
  first->Add(NewTrigger(UseRoute, intR, ttBuffer, ppNil), "-");
  first->AddDefault(illegal);

  {
    // Name: everything except blanks, quotes and punctuation continues the word.
    const TTrigger* end = NewTrigger(Jump, first, ttEnd | ttBack, ppName);
    name->Add(end, kBlank);
    name->Add(end, "\"'");
    name->Add(end, kPunctuation);
    name->AddDefault(NewTrigger(UseRoute, name, 0, ppNil));
  }

  for (auto [route, quote] : {std::pair{str, '"'}, std::pair{str2, '\''}}) {
    route->Add(NewTrigger(Jump, first, ttEnd, ppString), std::string_view(&quote, 1));
    route->Add(illegal, std::string_view("\0\n\r", 3));
    route->AddDefault(NewTrigger(UseRoute, route, 0, ppNil));
  }

  intR->AddRange(NewTrigger(UseRoute, intR, 0, ppNil), '0', '9');
  intR->Add(NewTrigger(UseRoute, dbl, 0, ppNil), ".");
  intR->Add(NewTrigger(UseRoute, exp, 0, ppNil), "Ee");
  intR->Add(NewTrigger(Jump, first, ttEnd | ttBack, ppInteger), kNumberEnd);
  intR->AddDefault(illegal);

  dbl->AddRange(NewTrigger(UseRoute, dbl, 0, ppNil), '0', '9');
  dbl->Add(NewTrigger(UseRoute, exp, 0, ppNil), "Ee");
  dbl->Add(NewTrigger(Jump, first, ttEnd | ttBack, ppDouble), kNumberEnd);
  dbl->AddDefault(illegal);

  exp->Add(NewTrigger(UseRoute, expPM, 0, ppNil), "+-");
  exp->AddRange(NewTrigger(UseRoute, expE, 0, ppNil), '0', '9');
  exp->AddDefault(illegal);

  expPM->AddRange(NewTrigger(UseRoute, expE, 0, ppNil), '0', '9');
  expPM->AddDefault(illegal);

  expE->AddRange(NewTrigger(UseRoute, expE, 0, ppNil), '0', '9');
  expE->Add(NewTrigger(Jump, first, ttEnd | ttBack, ppDouble), kNumberEnd);
  expE->AddDefault(illegal);

  // Escape machine, consulted before the main route.
  escape->Add(NewTrigger(Jump, escapeRoute, 0, ppNil), "\\");
  escapeRoute->Add(NewTrigger(Jump, escapeUChar, ttBuffer, ppNil), "u");
  escapeRoute->AddDefault(NewTrigger(UseRoute, escape, ttBuffer | ttEnd, ppEscape));
  {
    const TTrigger* hex = NewTrigger(UseRoute, escapeUChar, 0, ppEscapeUChar);
    escapeUChar->AddRange(hex, '0', '9');
    escapeUChar->AddRange(hex, 'A', 'F');
    escapeUChar->AddRange(hex, 'a', 'f');
    escapeUChar->AddDefault(illegal);
  }

  FindRuns(escape);
  First = first;
  Escape = escape;
  EscapeRoute = escapeRoute;
}

}  // namespace vx::json
