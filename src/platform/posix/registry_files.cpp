// Where the registry roots are read from, and the expansion of environment references in
// registry values.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/common/utf.h"
#include "platform/debug_channel.h"
#include "platform/install_layout.h"
#include "platform/registry.h"

namespace vx::platform {

std::string RegistryHive::FilePath(RegRoot root) {
  if (root == RegRoot::LocalMachine) {
    if (const char* p = std::getenv("VX64_REGISTRY_HKLM"); p != nullptr && *p != '\0') return p;
    // The machine configuration of the install this code belongs to; of several candidates (code
    // outside any install) the first that has the file.
    const std::vector<std::string>& prefixes = InstallPrefixes();
    std::string first;
    for (const std::string& prefix : prefixes) {
      std::string path = MachineConfigFolder(prefix, ConfiguredLayout()) + "/registry.reg";
      struct stat st {};
      if (::stat(path.c_str(), &st) == 0) return path;
      if (first.empty()) first = std::move(path);
    }
    return first;
  }
  if (const char* p = std::getenv("VX64_REGISTRY_HKCU"); p != nullptr && *p != '\0') return p;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/vx64/registry.reg";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/vx64/registry.reg";
}

RegistryHive RegistryHive::Load(RegRoot root) {
  const std::string path = FilePath(root);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return RegistryHive();
  if (!S_ISREG(st.st_mode)) {
    WriteDebugLine(Utf8ToUtf16("registry: " + path + " is not a regular file, not read"));
    return RegistryHive();
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), kMaxFileBytes + 1), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return Parse(bytes, root == RegRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER", path);
}

std::string ExpandEnvironmentVariables(std::string_view text) {
  constexpr std::size_t kMaxExpanded = 32767;  // the longest environment text Windows expands
  std::string out;
  std::size_t i = 0;
  while (i < text.size() && out.size() < kMaxExpanded) {
    const std::size_t open = text.find('%', i);
    if (open == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, open - i));
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) {
      out.append(text.substr(open));
      break;
    }
    const std::string name(text.substr(open + 1, close - open - 1));
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value != nullptr) {
      out.append(value);
      i = close + 1;
    } else {
      // Kept as written; the closing "%" may open the next reference.
      out.append(text.substr(open, close - open));
      i = close;
    }
  }
  if (out.size() > kMaxExpanded) out.resize(kMaxExpanded);
  return out;
}

}  // namespace vx::platform
