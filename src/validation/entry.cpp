#include "validation/entry.h"

#include "common/global_interface.h"
#include "common/system_functions.h"
#include "link/worker_com.h"
#include "platform/file_ops.h"
#include "platform/file_reader.h"
#include "validation/engine.h"
#include "validation/run_state.h"
#include "validation/worker_job.h"

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

// The worker does the job. When it answers with the failure text, the file is validated again in
// this process; a worker that gave no answer (it died or was killed) is not followed by a run
// here, since whatever ended it would then hit this process.
UString ValidateInWorker(const UString& aXMLFile, const UString& aDsc, const UString& aXSD) {
  DoLog(u"Walidacja XML: W trybie 64-bit.", 200);
  UString result;
  bool answered = false;
  {
    TValidationWorkerCom client;
    result = SendXMLValidateFile(client, aXMLFile, aDsc, aXSD, IntToU(GetLoglevel()));
    answered = !client.FXMLValidatonResult.empty();
  }
  if (answered && result == kValidationFailed) {
    DoLog(u"Walidacja XML: W trybie 64-bit nie powiodła się.", 200);
    result = IsXMLFIle_Valid(aXMLFile, aDsc, aXSD, false);
  }
  return result;
}

// Notes for a large file that failed in this process: where a 64-bit run would have helped.
void AddLargeFileNotes(UString& result, std::uint64_t size, bool workerMissing) {
  if (size <= kWorkerFileSize || result.find(kValidationFailed) == UString::npos) return;
  DoLog(u"Walidacja XML: W trybie 32-bit nie powiodła się.", 200);
  if (IsWow64Process() && workerMissing) {
    DoLog(
        u"Walidacja XML: Błąd walidacji w trybie 32-bit. Nie można znaleźć aplikacji do walidacji w trybie "
        u"64-Bit! (vx64BWorker.exe)",
        200);
    result +=
        u"\n\rBłąd walidacji w trybie 32-bit.\n\r Nie można znaleźć aplikacji do walidacji w trybie 64-Bit!("
        u"vx64BWorker.exe)";
  } else if (!IsWow64Process()) {
    DoLog(
        u"Walidacja XML: Walidacja dużych plików może wymagać większej ilości pamięci!\n\rWykryto "
        u"uruchomienie "
        u"walidacji w trybie 32bitowym.\n\rW przypadku dużej ilości danych należy uruchomić walidację na 64 "
        u"bitowym systemie operacyjnym!",
        200);
    result +=
        u"\n\rWalidacja dużych plików może wymagać większej ilości pamięci!\n\rWykryto uruchomienie "
        u"walidacji w trybie 32bitowym.\n\rW przypadku dużej ilości danych należy uruchomić walidację na 64 "
        u"bitowym systemie operacyjnym!";
  }
}

}  // namespace

UString IsXMLFIle_Valid(const UString& aXMLFile, const UString& aDsc, const UString& aXSD,
                        bool aAllowWorker) {
  return ValidateXMLFile(aXMLFile, aDsc, aXSD,
                         aAllowWorker ? TValidationMode::Auto : TValidationMode::InProcess);
}

UString ValidateXMLFile(const UString& aXMLFile, const UString& aDsc, const UString& aXSD,
                        TValidationMode aMode) {
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
  if (aMode == TValidationMode::InProcess) {
    result = ValidateInProcess(aXMLFile);
    return result;
  }
  const std::uint64_t size = FileSizeInBytes(aXMLFile);
  const bool workerMissing = !WorkerPresent();
  if (aMode == TValidationMode::Worker && workerMissing) {
    // A host that asks for the worker wants the file out of its own process: without a worker
    // the validation is not done.
    const UString note =
        u"Nie można znaleźć aplikacji do walidacji w trybie 64-Bit!(" + WorkerProgram() + u")";
    DoLog(u"Walidacja XML: W trybie 64-bit. " + note, 200);
    result = UString(kValidationFailed) + u"\n\r" + note;
    return result;
  }
  const bool worker =
      (aMode == TValidationMode::Worker || size >= kWorkerFileSize || IsWow64Process()) && !workerMissing;
  if (worker) {
    result = ValidateInWorker(aXMLFile, aDsc, aXSD);
  } else {
    result = ValidateInProcess(aXMLFile);
    AddLargeFileNotes(result, size, workerMissing);
  }
  return result;
}

}  // namespace vx
