// The map file reader and writer on arbitrary text: the first line is a key, the rest the file.
// Whatever the file holds, an entry that is written reads back as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "platform/common/ini_text.h"
#include "validation/schema_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nl = input.find('\n');
  const std::string_view key = input.substr(0, nl);
  const std::string_view text = nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1);
  (void)vx::IniValue(text, "MAP_XSD", key);
  try {
    const std::string written = vx::IniWithValue(text, "MAP_XSD", key, "value");
    if (vx::IniValue(written, "MAP_XSD", key) != "value") std::abort();
  } catch (const std::invalid_argument&) {
    // a key that cannot be stored unchanged
  }
  return 0;
}
