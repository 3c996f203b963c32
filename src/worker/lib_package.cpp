#include "worker/lib_package.h"

#include <optional>
#include <string>

#include "platform/debug_channel.h"
#include "platform/file_ops.h"
#include "platform/install_layout.h"
#include "platform/process.h"
#include "platform/zip_extract.h"

namespace vx {

namespace {

constexpr char16_t kArchiveName[] = u"LIB64BIT.ZIP";
// Holds the size of an archive whose unpacking failed.
constexpr char16_t kFailedMarkerName[] = u"LIB64BIT.ZIP.failed";

void DebugLine(UStringView text) {
  platform::WriteDebugLine(text);
}

}  // namespace

std::int64_t FileSize(const UString& name) {
  return platform::FileSizeOf(name);
}

void Prepare64bitLibIn(const UString& folder, const UString& archiveName) {
  try {
    platform::SetTlsLibraryPath(folder);
    // The archive's name is matched in any letter case, like the worker program's.
    const std::optional<UString> found = platform::FindFileIgnoringCase(archiveName);
    if (!found) {
      DebugLine(u"Uwaga! - brak pliku lib64bit.zip !!!");
      return;
    }
    const UString& archive = *found;
    const std::int64_t size = FileSize(archive);
    const UString marker = folder + u"/" + kArchiveName;
    // An archive that could not be unpacked is not tried again until it changes (another size).
    const UString failed = folder + u"/" + kFailedMarkerName;
    if (platform::DirectoryExists(folder)) {
      if (platform::FileExists(marker) && FileSize(marker) == size) return;
      if (platform::ReadSmallFile(failed, 32) == std::to_string(size)) {
        DebugLine(
            u"Problem przy rozpakowaniu bibliotek 64bit: archiwum tego rozmiaru nie dało się rozpakować, "
            u"pomijam do jego zmiany");
        return;
      }
      std::string error = platform::RemoveDirectoryTree(folder);
      if (!error.empty()) DebugLine(u"Problem przy aktualizacji bibliotek: " + Utf8ToU(error));
    }
    std::string error = platform::CreateDirectories(folder);
    if (!error.empty()) {
      DebugLine(Utf8ToU(error));
      return;
    }
    platform::ZipExtractResult extracted = platform::ExtractZip(archive, folder);
    // Every refused entry is reported. Any failure, a refusal included, keeps the marker copy
    // away and remembers the failure instead.
    for (const std::string& refusal : extracted.refused)
      DebugLine(u"Problem przy rozpakowaniu bibliotek 64bit: " + Utf8ToU(refusal));
    error = extracted.error;
    bool reported = !extracted.refused.empty() && error == extracted.refused.front();
    if (error.empty()) {
      // An entry of the marker's name is replaced by the marker copy.
      error = platform::RemoveDirectoryTree(marker);
      if (error.empty()) error = platform::CopyFileNoOverwrite(archive, marker);
    }
    if (error.empty()) return;
    if (!reported) DebugLine(u"Problem przy rozpakowaniu bibliotek 64bit: " + Utf8ToU(error));
    (void)platform::WriteSmallFile(failed, std::to_string(size));
  } catch (...) {
    // Only allocation failures can get here; the worker goes on without the folder.
  }
}

UString LibraryFolder() {
  const UString& exeDir = platform::ExecutableDir();
  if (!exeDir.empty() && !platform::IsProgramFolder(UToUtf8(exeDir), platform::ConfiguredLayout()) &&
      platform::DirectoryIsUsersOwn(exeDir)) {
    return exeDir == u"/" ? UString(u"/64bit") : exeDir + u"/64bit";
  }
  const UString cache = platform::UserCacheDir();
  return cache.empty() ? UString() : cache + u"/vx64/64bit";
}

void Prepare64bitLib() {
  const UString folder = LibraryFolder();
  if (folder.empty()) {
    platform::SetTlsLibraryPath(folder);
    DebugLine(u"Uwaga! - brak katalogu na biblioteki 64bit (nie ustawiono HOME ani XDG_CACHE_HOME) !!!");
    return;
  }
  Prepare64bitLibIn(folder, kArchiveName);
}

}  // namespace vx
