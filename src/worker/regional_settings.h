#pragma once
// Repair of the regional number and date settings the text conversions cannot work with.
#include "core/format_settings.h"

namespace vx {

// Repairs the thousands separator, decimal separator and short date format of `settings` in
// place (and may switch off its automatic reloading). Returns true when one of the three values
// changed, that is when the repaired values would have to be written back to the system.
[[nodiscard]] bool RepairFormatSettings(TFormatSettings& settings);

// Repairs the process-wide settings. There are no writable per-user regional settings here, so
// the repaired values apply to this process only. Always true.
bool CheckSeparatory();

}  // namespace vx
