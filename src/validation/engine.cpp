#include "validation/engine.h"

#include <optional>

#include "common/global_interface.h"
#include "platform/file_reader.h"
#include "validation/resolution.h"
#include "validation/run_state.h"

namespace vx {

namespace {

// The document turned out not to be well formed while its schemas were being resolved.
class EStructureFirst : public EValidationAbort {
 public:
  explicit EStructureFirst(UString reason) : FReason(std::move(reason)) {}
  [[nodiscard]] const UString& Reason() const { return FReason; }

 private:
  UString FReason;
};

// The document could not be read while its schemas were being resolved; carried through the
// resolution's traps as an abort and raised again as the read error it is.
class EReadFirst : public EValidationAbort {
 public:
  explicit EReadFirst(std::string what) : FWhat(std::move(what)) {}
  [[nodiscard]] const char* what() const noexcept override { return FWhat.c_str(); }

 private:
  std::string FWhat;
};

// Holds back the log lines that follow the structure check until the whole document is known to
// be well formed: for a malformed document they must not appear at all. Held lines go where they
// would have gone when they were logged; if someone replaced or unset the log hook meanwhile
// (a dropped request ends the worker's capture), that choice stays.
class DeferredLog {
 public:
  void Begin() {
    FPrevious = DoValidatorLog;
    FActive = true;
    DoValidatorLog = Hold{this};
  }
  // Stops holding lines back; `first` is logged, then the held lines in their order.
  void Release(const UString& first) {
    if (!FActive) return;
    Stop();
    Emit(first);
    for (const UString& line : FLines) Emit(line);
    FLines.clear();
  }
  void Discard() {
    if (!FActive) return;
    Stop();
    FLines.clear();
  }
  [[nodiscard]] bool Active() const { return FActive; }
  ~DeferredLog() { Discard(); }

 private:
  struct Hold {
    DeferredLog* self;
    void operator()(const UString& line) const { self->FLines.push_back(line); }
  };
  void Stop() {
    if (DoValidatorLog.target<Hold>() != nullptr) DoValidatorLog = FPrevious;
    FActive = false;
  }
  void Emit(const UString& line) const {
    if (FPrevious) {
      FPrevious(line);
    } else {
      DoLog(line, 200);
    }
  }
  TValidatorLogHook FPrevious;
  std::vector<UString> FLines;
  bool FActive = false;
};

// Documents up to this size are checked for structure before anything else is done.
constexpr std::uint64_t kCheckFirstUpTo = 8 * 1024 * 1024;

const UString kStructureEnd =
    u"Walidacja XML: Sprawdzenia pliku XML wględem poprawności jego struktury - Koniec.";

}  // namespace

UString IsXML_Valid(IXmlSource& source, const UString& aNamespace, const UString& aXSD,
                    const TStreamProgress& progress) {
  UString result;
  TValidationRun run;
  DeferredLog deferred;
  std::optional<TStreamOutcome> structure;  // a plain pass over the whole document, when one was made
  auto ensureWellFormed = [&] {
    if (!structure) structure = StreamDocument(source, nullptr, TStreamExtent::Whole);
    if (!structure->structureError.empty()) throw EStructureFirst(structure->structureError);
  };
  auto structureResult = [&](const UString& reason) {
    deferred.Discard();
    Log(kStructureEnd);
    return reason;
  };

  try {
    Log(u"Walidacja XML: Stworzenie obiektu XML klasy \"MSXML2.DOMDocument.6.0\".");
    Log(u"Walidacja XML: Stworzono obiekt XML - OK.");
    Log(u"Walidacja XML: Sprawdzenia pliku XML wględem poprawności jego struktury.");
    // A small document is checked whole first. A large one is read once: its schemas are
    // resolved from the root's namespaces, and the structure check rides along with validation;
    // a dialog waits until the document is known to be well formed.
    if (source.Size() <= kCheckFirstUpTo) ensureWellFormed();
    const TStreamOutcome head =
        structure ? *structure : StreamDocument(source, nullptr, TStreamExtent::RootOnly);
    if (!head.structureError.empty()) return structureResult(head.structureError);

    deferred.Begin();
    run.beforeDialog = [&] {
      try {
        ensureWellFormed();
      } catch (const platform::EFileError& e) {
        throw EReadFirst(e.what());
      }
    };
    Log(u"Walidacja XML: Stworzenie obiektu XSD klasy \"MSXML2.XMLSchemaCache.6.0\".");
    Log(u"Walidacja XML: Stworzono obiekt XSD - OK.");
    Log(u"Walidacja XML: Analiza pzestrzeni nazw.");
    const bool explicitPair = !aNamespace.empty() && !aXSD.empty();
    std::vector<std::string> resolved;
    if (explicitPair) {
      wAdd(run, aNamespace, aXSD);
    } else {
      for (const std::string& uri : head.namespaces) {
        wAdd(run, u"", Utf8ToU(uri));
        resolved.push_back(uri);
      }
    }

    const bool mayValidate = explicitPair || !head.namespaces.empty();
    TStreamOutcome pass = StreamDocument(source, mayValidate ? run.schemas.Compiled() : nullptr,
                                         TStreamExtent::Whole, progress);
    if (!pass.structureError.empty()) return structureResult(pass.structureError);
    deferred.Release(kStructureEnd);

    if (!explicitPair) {
      if (pass.namespaces.empty()) return result;  // no namespace: nothing to validate against
      bool added = !mayValidate;
      for (const std::string& uri : pass.namespaces) {
        if (std::find(resolved.begin(), resolved.end(), uri) != resolved.end()) continue;
        wAdd(run, u"", Utf8ToU(uri));  // a namespace met only further into the document
        added = true;
      }
      if (added) pass = StreamDocument(source, run.schemas.Compiled(), TStreamExtent::Whole, progress);
    }
    Log(u"Walidacja XML: Przypisanie schematów XSD do obiektu XML.");
    Log(u"Walidacja XML: Rozpoczęcie walidacji.");
    Log(u"Walidacja XML: Wykonano walidację.");
    result = pass.validationError;
  } catch (const EStructureFirst& e) {
    return structureResult(e.Reason());
  } catch (const EReadFirst& e) {
    throw platform::EFileError(e.what());
  } catch (const platform::EFileError&) {
    throw;  // the caller reads the file and reports that
  } catch (const std::exception& e) {
    // Whether the lines held back belong to the log depends on the document's structure.
    if (deferred.Active()) {
      try {
        ensureWellFormed();
      } catch (const EStructureFirst& s) {
        return structureResult(s.Reason());
      }
      deferred.Release(kStructureEnd);
    }
    Log(u"Walidacja XML: Walidacja zakończona wyjątkiem: " + Utf8ToU(e.what()));
    result = kValidationFailed;
  }
  if (DoAfterValidation) {
    Log(u"Walidacja XML: Zdarzenia DoAfterValidation");
    DoAfterValidation(result);
    Log(u"Walidacja XML: Zdarzenia DoAfterValidation - koniec");
  }
  return result;
}

UString IsXML_Valid(const UString& aXML, const UString& aNamespace, const UString& aXSD) {
  TTextXmlSource source(UToUtf8(aXML));
  return IsXML_Valid(source, aNamespace, aXSD);
}

}  // namespace vx
