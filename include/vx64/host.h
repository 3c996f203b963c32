#pragma once
// The vx64 host library: everything an application needs to validate files, send mail and drive
// the worker.
#include "vx64/export.h"
#include "vx64/json.h"
#include "vx64/mail.h"
#include "vx64/services.h"
#include "vx64/validation.h"
#include "vx64/version.h"
#include "vx64/worker_client.h"

namespace vx64 {

// The library's version ("MAJOR.MINOR.PATCH"), the same as VX64_VERSION of the headers it was
// built with (an application may run with a newer library than it was built against).
[[nodiscard]] VX64_HOST_API const char* Version();

}  // namespace vx64
