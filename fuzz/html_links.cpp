// The HTML link collector on arbitrary page bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "validation/link_discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  (void)vx::AnchorHrefs(page);
  return 0;
}
