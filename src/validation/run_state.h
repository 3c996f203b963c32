#pragma once
// What one validation run shares between the engine and the schema resolution: the run's state,
// the module's hooks and its log channel.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ustring.h"
#include "validation/link_discovery.h"
#include "validation/schema_set.h"

namespace vx {

// Hooks, process-wide and unset at start.
using TValidatorLogHook = std::function<void(const UString& line)>;
using TAfterValidationHook = std::function<void(UString& result)>;
using TBeforeAddXSDHook = std::function<void(UString& location)>;
using TXSDNotFoundHook = std::function<void(const UString& location)>;

inline TValidatorLogHook DoValidatorLog;
inline TAfterValidationHook DoAfterValidation;
inline TBeforeAddXSDHook DoBeforeAddXSD;
inline TXSDNotFoundHook DoXSDNotFound;

// The validator's log channel: DoValidatorLog when set, otherwise DoLog at level 200.
void Log(const UString& aMessage);

inline constexpr char16_t kValidationFailed[] = u"Nie powiodła się weryfikacja pliku XML.";

// Thrown through the resolution's error traps when the run must stop for a reason that is not a
// registration failure (the document turned out to be malformed before a dialog was shown).
class EValidationAbort : public std::exception {
 public:
  [[nodiscard]] const char* what() const noexcept override { return "validation stopped"; }
};

// One IsXML_Valid call's state.
struct TValidationRun {
  TSchemaSet schemas;
  TPageCache pages;                 // every location probed or read as a page, fetched once
  std::vector<UString> registered;  // locations added in this run, compared exactly
  UString lastMismatch;             // loop guard of the retry rule
  std::vector<UString> chain;       // locations being followed through the map or user answers
  // Called before a dialog is shown; may raise EValidationAbort.
  std::function<void()> beforeDialog;
};

}  // namespace vx
