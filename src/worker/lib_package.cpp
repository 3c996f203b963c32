#include "worker/lib_package.h"

#include "platform/debug_channel.h"
#include "platform/file_ops.h"
#include "platform/process.h"
#include "platform/zip_extract.h"

namespace vx {

namespace {

constexpr char16_t kArchiveName[] = u"LIB64BIT.ZIP";

void DebugLine(UStringView text) {
  platform::OutputDebugStringW(text);
}

}  // namespace

std::int64_t FileSize(const UString& name) {
  return platform::FileSizeOf(name);
}

void Prepare64bitLibIn(const UString& folder, const UString& archive) {
  try {
    platform::SetTlsLibraryPath(folder);
    if (!platform::FileExists(archive)) {
      DebugLine(u"Uwaga! - brak pliku lib64bit.zip !!!");
      return;
    }
    const UString marker = folder + u"/" + kArchiveName;
    if (platform::DirectoryExists(folder)) {
      if (platform::FileExists(marker) && FileSize(marker) == FileSize(archive)) return;
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
    // away, so the next start unpacks again.
    for (const std::string& refusal : extracted.refused)
      DebugLine(u"Problem przy rozpakowaniu bibliotek 64bit: " + Utf8ToU(refusal));
    error = extracted.error;
    bool reported = !extracted.refused.empty() && error == extracted.refused.front();
    if (error.empty()) error = platform::CopyFileNoOverwrite(archive, marker);
    if (!error.empty() && !reported)
      DebugLine(u"Problem przy rozpakowaniu bibliotek 64bit: " + Utf8ToU(error));
  } catch (...) {
    // Only allocation failures can get here; the worker goes on without the folder.
  }
}

void Prepare64bitLib() {
  const UString& exeDir = platform::ExecutableDir();
  Prepare64bitLibIn(exeDir == u"/" ? UString(u"/64bit") : exeDir + u"/64bit", kArchiveName);
}

}  // namespace vx
