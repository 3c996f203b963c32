#pragma once
// Validating an XML file against the XSD schemas its namespaces lead to.
#include <cstdint>
#include <functional>
#include <string>

#include "vx64/export.h"

namespace vx64 {

enum class ValidationMode {
  InProcess,  // in the calling process
  Auto,       // in the worker for files of 100000000 bytes and more, when the worker is present
  Worker,     // always in the worker; never in the calling process (see ValidateXMLFile)
};

// The result is empty when the file is valid; otherwise the first error, or one of the texts
// "Brak pliku do walidacji o nazwie: " + path and "Nie powiodła się weryfikacja pliku XML."
// (see ValidationFailedText). `aDsc` and `aXSD` travel with a request to the worker. A failure to
// set up the link with the worker is raised as a std::exception.
[[nodiscard]] VX64_HOST_API std::u16string IsXMLFIle_Valid(const std::u16string& aXMLFile,
                                                           const std::u16string& aDsc,
                                                           const std::u16string& aXSD, bool aAllowWorker);
// With ValidationMode::Worker and no worker program to start (WorkerPresent() false) the result
// is ValidationFailedText() + "\n\rNie można znaleźć aplikacji do walidacji w trybie 64-Bit!("
// + WorkerProgram() + ")": the validation was not done.
[[nodiscard]] VX64_HOST_API std::u16string ValidateXMLFile(const std::u16string& aXMLFile,
                                                           ValidationMode aMode);

// "Nie powiodła się weryfikacja pliku XML.": the validation could not be done.
[[nodiscard]] VX64_HOST_API const std::u16string& ValidationFailedText();

// True in a 32-bit process on a 64-bit system, where ValidationMode::Auto hands every file to the
// worker (when the worker is present).
[[nodiscard]] VX64_HOST_API bool IsWow64Process();

// Receives the number of bytes read so far while a file is validated in this process, on the
// validating thread; an empty function removes it. Not called for a validation in the worker.
VX64_HOST_API void SetValidationProgress(std::function<void(std::uint64_t aBytesRead)> aProgress);

}  // namespace vx64
