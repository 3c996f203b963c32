#include "platform/install_layout.h"

#include <filesystem>

#include "platform/common/utf.h"
#include "platform/process.h"

// The build passes the configured folders; these defaults are GNU's.
#ifndef VX_INSTALL_PREFIX
#define VX_INSTALL_PREFIX "/usr/local"
#endif
#ifndef VX_INSTALL_BINDIR
#define VX_INSTALL_BINDIR "bin"
#endif
#ifndef VX_INSTALL_LIBDIR
#define VX_INSTALL_LIBDIR "lib"
#endif
#ifndef VX_INSTALL_LIBEXECDIR
#define VX_INSTALL_LIBEXECDIR "libexec"
#endif
#ifndef VX_INSTALL_SYSCONFDIR
#define VX_INSTALL_SYSCONFDIR "etc"
#endif

namespace vx::platform {

namespace {

// The project's own folder under libexecdir and sysconfdir.
constexpr std::string_view kProjectFolder = "vx64";

// A path with single separators, without "." parts and without a trailing separator ("/" stays).
std::string Normal(std::string_view path) {
  std::string text = std::filesystem::path(path).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

// `dir` below `prefix`; an absolute `dir` stands for itself.
std::string Below(std::string_view prefix, std::string_view dir) {
  if (!dir.empty() && dir.front() == '/') return Normal(dir);
  return Normal(std::string(prefix) + "/" + std::string(dir));
}

bool IsSystemPrefix(std::string_view prefix) {
  const std::string p = Normal(prefix);
  return p == "/usr" || p == "/";
}

}  // namespace

const InstallLayout& ConfiguredLayout() {
  static const InstallLayout layout{Normal(VX_INSTALL_PREFIX), VX_INSTALL_BINDIR, VX_INSTALL_LIBDIR,
                                    VX_INSTALL_LIBEXECDIR, VX_INSTALL_SYSCONFDIR};
  return layout;
}

std::optional<std::string> PrefixOfFolder(std::string_view folder, const InstallLayout& layout) {
  if (folder.empty() || folder.front() != '/') return std::nullopt;
  const std::string dir = Normal(folder);
  const std::string programs = Normal(layout.libexecdir + "/" + std::string(kProjectFolder));
  for (const std::string& sub : {Normal(layout.bindir), Normal(layout.libdir), programs}) {
    if (sub.empty() || sub == ".") continue;
    if (sub.front() == '/') {
      // Configured as an absolute folder: it says nothing of the prefix.
      if (dir == sub) return layout.prefix;
      continue;
    }
    // Whole parts only: "/opt/xbin" is not "/opt" + "bin".
    if (dir.size() > sub.size() && dir.ends_with(sub) && dir[dir.size() - sub.size() - 1] == '/') {
      std::string prefix = dir.substr(0, dir.size() - sub.size() - 1);
      return prefix.empty() ? std::string("/") : prefix;
    }
  }
  return std::nullopt;
}

std::string ProgramFolder(std::string_view prefix, const InstallLayout& layout) {
  return Below(Below(prefix, layout.libexecdir), kProjectFolder);
}

std::string LibraryFolder(std::string_view prefix, const InstallLayout& layout) {
  return Below(prefix, layout.libdir);
}

std::string MachineConfigFolder(std::string_view prefix, const InstallLayout& layout) {
  const bool relative = layout.sysconfdir.empty() || layout.sysconfdir.front() != '/';
  const std::string etc =
      relative && IsSystemPrefix(prefix) ? std::string("/etc") : Below(prefix, layout.sysconfdir);
  return Below(etc, kProjectFolder);
}

bool IsProgramFolder(std::string_view folder, const InstallLayout& layout) {
  const std::optional<std::string> prefix = PrefixOfFolder(folder, layout);
  return prefix && ProgramFolder(*prefix, layout) == Normal(folder);
}

const std::vector<std::string>& InstallPrefixes() {
  static const std::vector<std::string> prefixes = [] {
    const InstallLayout& layout = ConfiguredLayout();
    if (auto own = PrefixOfFolder(Utf16ToUtf8(RunningCodeFolder()), layout))
      return std::vector<std::string>{*own};
    std::vector<std::string> list{layout.prefix};
    if (layout.prefix != "/usr") list.emplace_back("/usr");
    return list;
  }();
  return prefixes;
}

}  // namespace vx::platform
