// The validation entry points of the host library.
#include "vx64/validation.h"

#include "common/system_functions.h"
#include "validation/entry.h"
#include "validation/run_state.h"

namespace vx64 {

namespace {

vx::TValidationMode Internal(ValidationMode mode) {
  switch (mode) {
    case ValidationMode::InProcess:
      return vx::TValidationMode::InProcess;
    case ValidationMode::Worker:
      return vx::TValidationMode::Worker;
    case ValidationMode::Auto:
      break;
  }
  return vx::TValidationMode::Auto;
}

}  // namespace

std::u16string IsXMLFIle_Valid(const std::u16string& aXMLFile, const std::u16string& aDsc,
                               const std::u16string& aXSD, bool aAllowWorker) {
  return vx::IsXMLFIle_Valid(aXMLFile, aDsc, aXSD, aAllowWorker);
}

std::u16string ValidateXMLFile(const std::u16string& aXMLFile, ValidationMode aMode) {
  return vx::ValidateXMLFile(aXMLFile, u"", u"", Internal(aMode));
}

const std::u16string& ValidationFailedText() {
  static const std::u16string text = vx::kValidationFailed;
  return text;
}

bool IsWow64Process() {
  return vx::IsWow64Process();
}

void SetValidationProgress(std::function<void(std::uint64_t aBytesRead)> aProgress) {
  vx::ValidationProgress = std::move(aProgress);
}

}  // namespace vx64
