#pragma once
// The folder of 64-bit libraries, kept as an unpacked copy of the archive "LIB64BIT.ZIP" from the
// current directory: beside the executable in a folder of the user's own (the build tree), the
// user's cache folder for an installed worker.
#include <cstdint>

#include "core/ustring.h"

namespace vx {

// Size of the named file in bytes; -1 when it cannot be read.
[[nodiscard]] std::int64_t FileSize(const UString& name);

// The library folder: "64bit" beside the executable when the executable's folder belongs to the
// user running it and is not an install's program folder; otherwise the user's own
// $XDG_CACHE_HOME/vx64/64bit (default ~/.cache/vx64/64bit), so that a worker installed for
// everyone never writes into a system folder. Empty when neither is known.
[[nodiscard]] UString LibraryFolder();

// Makes sure the library folder holds the current archive's contents and sets it as the TLS
// library path. Never raises; problems go to the debug channel.
void Prepare64bitLib();

// The same for a given folder and archive (Prepare64bitLib passes LibraryFolder() and
// "LIB64BIT.ZIP"); the archive's file name is matched in any letter case. An
// archive that fails to unpack (also one beyond the size and entry bounds) is remembered by its
// size in the folder and not unpacked again until it changes.
void Prepare64bitLibIn(const UString& folder, const UString& archiveName);

}  // namespace vx
