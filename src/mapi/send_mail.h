#pragma once
// MAPISendMail's work: read the message and the settings, then deliver it the chosen way.
#include <cstdint>

#include "mapi/mapi.h"

namespace vx::mapi {

[[nodiscard]] std::uint32_t SendMail(const MapiMessage* message, FLAGS flags);

// MAPIFreeBuffer: frees a buffer the library handed out.
[[nodiscard]] std::uint32_t FreeBuffer(void* buffer);

}  // namespace vx::mapi
