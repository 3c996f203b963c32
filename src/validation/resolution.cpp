#include "validation/resolution.h"

#include <algorithm>

#include "common/dialogs.h"
#include "validation/link_discovery.h"
#include "validation/schema_map.h"

namespace vx {

namespace {

// The host of the W3C's own namespaces; nothing on it is ever resolved.
constexpr char16_t kW3CHost[] = u"WWW.W3.ORG";

// Keeps `location` on the run's chain while a location it leads to (through the map or a user
// answer) is followed, so a chain that comes back to itself stops.
class ChainLink {
 public:
  ChainLink(TValidationRun& run, const UString& location) : FRun(run) { FRun.chain.push_back(location); }
  ~ChainLink() { FRun.chain.pop_back(); }
  ChainLink(const ChainLink&) = delete;
  ChainLink& operator=(const ChainLink&) = delete;

 private:
  TValidationRun& FRun;
};

// aFromWeb: the location came from a page or a schema fetched over the web, so it may not name a
// local file.
void Resolve(TValidationRun& run, const UString& aNamespace, const UString& aLocation, bool aFromWeb);

// Follows `next`, found for `location` in the map, unless that closes a loop.
void Follow(TValidationRun& run, const UString& aNamespace, const UString& location, const UString& next) {
  if (next == location || std::find(run.chain.begin(), run.chain.end(), next) != run.chain.end()) {
    Log(u"Walidacja XML: Pominięto położenie \"" + next + u"\" - prowadzi z powrotem do \"" + location +
        u"\" (pętla w mapie położeń).");
    return;
  }
  ChainLink link(run, location);
  wAdd(run, aNamespace, next);
}

void AfterFailure(TValidationRun& run, const UString& aNamespace, const UString& aLocation, bool aFromWeb,
                  const UString& M) {
  const std::vector<UString> pieces = MessagePieces(M);
  const std::size_t n = pieces.size();
  if (n == 4 && pieces[2].find(u"Zduplikowana nazwa elementu") != UString::npos) return;
  if (M != run.lastMismatch && n > 3 && pieces[n - 2].find(u':') != UString::npos) {
    run.lastMismatch = M;
    Resolve(run, pieces[n - 2], aLocation, aFromWeb);
    return;
  }
  if (DoXSDNotFound) {
    DoXSDNotFound(aLocation);
    return;
  }
  const UString mapped = FromIni(aLocation);
  if (!mapped.empty() && mapped != aLocation) {
    Follow(run, aNamespace, aLocation, mapped);
    return;
  }
  if (run.beforeDialog) run.beforeDialog();
  UString question = u"Nie znaleziono pliku %s. Czy chcesz wskazać położenie pliku schematu XSD?";
  question.replace(question.find(u"%s"), 2, aLocation);
  if (!QYN(question)) return;
  UString typed = aLocation;
  if (!Input(u"Podaj położenie dla pliku schematu XSD", u"URL: ", typed)) return;
  // The user's answer is always tried, also when it repeats the failed location (the server may
  // answer now): what this run remembers of it is forgotten first.
  ChainLink link(run, aLocation);
  run.schemas.Forget(typed);
  run.pages.Forget(typed);
  wAdd(run, aNamespace, typed);
}

}  // namespace

std::vector<UString> MessagePieces(UStringView aMessage) {
  std::vector<UString> pieces(1);
  for (char16_t c : aMessage) {
    if (c == u'\'') {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(c);
    }
  }
  if (pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();
  return pieces;
}

void wAdd(TValidationRun& run, const UString& aNamespace, const UString& aLocation) {
  Resolve(run, aNamespace, aLocation, false);
}

namespace {

void Resolve(TValidationRun& run, const UString& aNamespace, const UString& aLocation, bool aFromWeb) {
  Log(u"Walidacja XML: Analiza : \"" + aNamespace + u"\", \"" + aLocation + u"\"");
  if (ContainsNoCase(aLocation, kW3CHost)) return;

  if (!IsXSD(aLocation, run.pages)) {
    std::vector<UString> links;
    if (GetLinks(aLocation, links, run.pages)) {
      for (const UString& link : links) Resolve(run, aNamespace, link, true);  // pages come from the web
    }
    return;
  }

  UString location = aLocation;  // the hook may replace it for everything that follows
  UString message;
  try {
    std::size_t p = LastStringPos(u"http://", aLocation);
    if (p == 0) p = LastStringPos(u"https://", aLocation);
    if (p > 1) {
      Resolve(run, aNamespace, aLocation.substr(p - 1), aFromWeb);
      return;
    }
    if (DoBeforeAddXSD) DoBeforeAddXSD(location);
    if (std::find(run.registered.begin(), run.registered.end(), location) != run.registered.end()) return;
    if (aFromWeb && IsLocalLocation(UToUtf8(location))) {
      Log(u"Walidacja XML: Pominięto położenie \"" + location +
          u"\" - schemat pobrany z sieci nie może wskazywać pliku lokalnego.");
      return;
    }
    run.schemas.add(aNamespace, location, !aFromWeb);
    Log(u"Walidacja XML: Dodanie przestrzeni nazw: \"" + aNamespace + u"\" plik XSD: \"" + location + u"\".");
    run.registered.push_back(location);
    return;
  } catch (const EValidationAbort&) {
    throw;
  } catch (const ESchemaError& e) {
    message = e.Message();
  } catch (const std::exception& e) {
    message = Utf8ToU(e.what());
  }
  AfterFailure(run, aNamespace, location, aFromWeb, message);
}

}  // namespace

bool QYN(const UString& aQuestion) {
  Log(u"Walidacja XML: Pytanie: " + aQuestion);
  const bool yes = AskYesNo(aQuestion);
  Log(u"Walidacja XML: Odpowiedziano na pytanie " + UString(yes ? u"1" : u"0") + u": " + aQuestion);
  return yes;
}

bool Input(const UString& aCaption, const UString& aPrompt, UString& aValue) {
  const UString old = aValue;
  Log(u"Walidacja XML: Okno input: " + aCaption + u"\r\n" + aPrompt);
  std::optional<UString> answer = InputQuery(aCaption, aPrompt, aValue);
  if (answer) aValue = *answer;
  Log(u"Walidacja XML: Okno input odpowiedź: " + aValue);
  ToIni(old, aValue);
  return answer.has_value();
}

}  // namespace vx
