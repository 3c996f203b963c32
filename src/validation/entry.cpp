#include "validation/entry.h"

#include "common/global_interface.h"
#include "platform/file_ops.h"
#include "platform/file_reader.h"
#include "validation/engine.h"
#include "validation/run_state.h"

namespace vx {

namespace {

// The in-process run: the file is streamed through the engine with its byte-order marks dropped.
UString ValidateInProcess(const UString& aXMLFile) {
  DoLog(u"Walidacja XML: W trybie 32-bit.", 200);
  try {
    TFileXmlSource source(aXMLFile);
    return IsXML_Valid(source, u"", u"", ValidationProgress);
  } catch (const std::exception& e) {
    DoLog(u"Walidacja XML: W trybie 32-bit nie powiodła się: " + Utf8ToU(e.what()), 200);
    return kValidationFailed;
  }
}

}  // namespace

UString IsXMLFIle_Valid(const UString& aXMLFile, const UString& aDsc, const UString& aXSD, bool aAllowWorker) {
  (void)aDsc;
  (void)aXSD;
  (void)aAllowWorker;
  DoLog(u"Walidacja XML - Start.", 200);
  DoLog(u"Walidacja XML: Rozpoczęcie walidacji pliku: \"" + aXMLFile + u"\"", 200);
  UString result;
  struct Closing {
    const UString& result;
    ~Closing() {
      DoLog(result.empty() ? UString(u"Walidacja XML: Wynik: OK") : u"Walidacja XML: Wynik: " + result, 200);
      DoLog(u"Walidacja XML - Koniec.", 200);
    }
  } closing{result};

  if (!platform::FileExists(aXMLFile)) {
    DoLog(u"Walidacja XML: Brak pliku do walidacji o nazwie: \"" + aXMLFile + u"\"", 200);
    result = u"Brak pliku do walidacji o nazwie: " + aXMLFile;
    return result;
  }
  result = ValidateInProcess(aXMLFile);
  return result;
}

}  // namespace vx
