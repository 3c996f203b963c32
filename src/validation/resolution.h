#pragma once
// Turning a namespace URI or a schema location into schemas registered in the running
// validation's schema set: pages are followed to their schema links, failed registrations are
// retried under the namespace the error names, then looked up in the location map, and last
// the user is asked.
#include "core/ustring.h"
#include "validation/run_state.h"

namespace vx {

void wAdd(TValidationRun& run, const UString& aNamespace, const UString& aLocation);

// Yes/No question to the user (caption "Pytanie"); logged with the answer.
[[nodiscard]] bool QYN(const UString& aQuestion);
// Input box; aValue holds the proposal on entry and the accepted text on return. The map gets
// old=new when confirmed, old=old when cancelled.
[[nodiscard]] bool Input(const UString& aCaption, const UString& aPrompt, UString& aValue);

// The pieces of an error message split at every apostrophe (an empty piece after a final
// apostrophe does not count).
[[nodiscard]] std::vector<UString> MessagePieces(UStringView aMessage);

}  // namespace vx
