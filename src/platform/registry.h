#pragma once
// The registry, read-only, from registry export files (".reg" text: "Windows Registry Editor
// Version 5.00" in UTF-16LE with a byte-order mark or UTF-8, or REGEDIT4 in ASCII/UTF-8).
//   HKEY_LOCAL_MACHINE: <sysconfdir>/vx64/registry.reg of the install the running code belongs to
//                       (/etc/vx64/registry.reg for the prefix /usr; see install_layout.h), or the
//                       file named by VX64_REGISTRY_HKLM;
//   HKEY_CURRENT_USER:  $XDG_CONFIG_HOME/vx64/registry.reg (default ~/.config/vx64/registry.reg),
//                       or the file named by VX64_REGISTRY_HKCU.
// Key and value names compare without regard to letter case; subkeys keep their file order.
// A malformed file is read as far as it is sound; the rest is reported on the debug channel.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::platform {

enum class RegRoot { LocalMachine, CurrentUser };

enum class RegType { String, ExpandString, Dword };

struct RegValue {
  RegType type = RegType::String;
  std::string text;         // REG_SZ / REG_EXPAND_SZ as UTF-8 (not expanded)
  std::uint32_t dword = 0;  // REG_DWORD
};

// One registry root as read from its file. A value type: copies are independent snapshots.
class RegistryHive {
 public:
  RegistryHive();
  ~RegistryHive();
  RegistryHive(const RegistryHive&);
  RegistryHive& operator=(const RegistryHive&);
  RegistryHive(RegistryHive&&) noexcept;
  RegistryHive& operator=(RegistryHive&&) noexcept;

  // The bound on a registry file: what lies beyond it is not read.
  static constexpr std::size_t kMaxFileBytes = 8u << 20;

  // Parses the text of a registry file whose keys lie under `root` ("HKEY_LOCAL_MACHINE" or
  // "HKEY_CURRENT_USER"; keys of other roots are skipped). `origin` names the file in log lines.
  [[nodiscard]] static RegistryHive Parse(std::string_view bytes, std::string_view root,
                                          std::string_view origin);
  // Reads the file of a root; a missing file gives an empty hive.
  [[nodiscard]] static RegistryHive Load(RegRoot root);
  // The file a root is read from.
  [[nodiscard]] static std::string FilePath(RegRoot root);

  // `path` is relative to the root, parts separated by backslashes ("SOFTWARE\Clients\Mail").
  [[nodiscard]] bool KeyExists(std::string_view path) const;
  // `name` empty = the key's default value ("@").
  [[nodiscard]] std::optional<RegValue> Value(std::string_view path, std::string_view name) const;
  // A REG_SZ or REG_EXPAND_SZ value as written (UTF-8); nullopt for a missing or other value.
  [[nodiscard]] std::optional<std::string> String(std::string_view path, std::string_view name) const;
  [[nodiscard]] std::optional<std::uint32_t> Dword(std::string_view path, std::string_view name) const;
  // Names of the key's direct subkeys in file order; empty for a missing key.
  [[nodiscard]] std::vector<std::string> SubKeys(std::string_view path) const;

 private:
  struct Key;
  [[nodiscard]] const Key* Find(std::string_view path) const;
  std::vector<Key> keys_;  // keys_[0] is the root
};

// Replaces %NAME% by the value of the environment variable NAME; a variable that is not
// defined is kept as written, "%%" and an unpaired "%" too.
[[nodiscard]] std::string ExpandEnvironmentVariables(std::string_view text);

}  // namespace vx::platform
