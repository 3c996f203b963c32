#pragma once
// Where an install keeps its files. The folders below the prefix are the ones the build was
// configured with (relative, unless configured as absolute paths); the prefix is found at run time
// from the place of the running code, so an install into any prefix (a package, `cmake --install
// --prefix`, a DESTDIR tree copied into place) finds its own files.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::platform {

// The folders of an install.
struct InstallLayout {
  std::string prefix;      // the prefix configured at build time
  std::string bindir;      // programs ("bin")
  std::string libdir;      // libraries ("lib", "lib/x86_64-linux-gnu")
  std::string libexecdir;  // internal programs ("libexec"); this project's lie in its "vx64" folder
  std::string sysconfdir;  // machine configuration ("etc")
};

// The layout this build was configured with.
[[nodiscard]] const InstallLayout& ConfiguredLayout();

// The prefix of the install a file in `folder` (an absolute path without "." or ".." parts)
// belongs to: <prefix>/<bindir>, <prefix>/<libdir> and <prefix>/<libexecdir>/vx64 give
// <prefix>. nullopt when the folder is none of these.
[[nodiscard]] std::optional<std::string> PrefixOfFolder(std::string_view folder, const InstallLayout& layout);

// The folders of an install at `prefix`: its internal programs (<libexecdir>/vx64), its
// libraries, and its machine configuration (<sysconfdir>/vx64; /etc/vx64 for the prefixes /usr
// and /, which keep their configuration in /etc).
[[nodiscard]] std::string ProgramFolder(std::string_view prefix, const InstallLayout& layout);
[[nodiscard]] std::string LibraryFolder(std::string_view prefix, const InstallLayout& layout);
[[nodiscard]] std::string MachineConfigFolder(std::string_view prefix, const InstallLayout& layout);

// True when `folder` is the internal program folder of an install.
[[nodiscard]] bool IsProgramFolder(std::string_view folder, const InstallLayout& layout);

// The prefixes of the installs whose files the running code uses, in the order to look in. When
// the file holding the code (the shared library it is part of, else the executable) lies in an
// install, that install's prefix alone. Otherwise (an application linked with the static library,
// say) the configured prefix and the system's own, /usr, where the distribution's package lies.
[[nodiscard]] const std::vector<std::string>& InstallPrefixes();

}  // namespace vx::platform
