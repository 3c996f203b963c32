#pragma once
// The folder of 64-bit libraries beside the executable, kept as an unpacked copy of the archive
// "LIB64BIT.ZIP" from the current directory.
#include <cstdint>

#include "core/ustring.h"

namespace vx {

// Size of the named file in bytes; -1 when it cannot be read.
[[nodiscard]] std::int64_t FileSize(const UString& name);

// Makes sure the folder "64bit" beside the executable holds the current archive's contents and
// sets it as the TLS library path. Never raises; problems go to the debug channel.
void Prepare64bitLib();

// The same for a given folder and archive (Prepare64bitLib passes the executable's "64bit"
// folder and "LIB64BIT.ZIP"); the archive's file name is matched in any letter case. An
// archive that fails to unpack (also one beyond the size and entry bounds) is remembered by its
// size in the folder and not unpacked again until it changes.
void Prepare64bitLibIn(const UString& folder, const UString& archiveName);

}  // namespace vx
