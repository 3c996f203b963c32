// Registry files are written by any local user or program: parsing must stay bounded and sound.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto hive = vx::platform::RegistryHive::Parse(bytes, "HKEY_LOCAL_MACHINE", "fuzz");
  for (const auto& key : hive.SubKeys("SOFTWARE\\Clients\\Mail")) {
    (void)hive.String("SOFTWARE\\Clients\\Mail\\" + key, "DLLPath");
  }
  (void)hive.Dword("A", "");
  (void)vx::platform::ExpandEnvironmentVariables(bytes.substr(0, 4096));
  return 0;
}
