// Client library files are checked before anything loads them: the image checks must survive any
// file content.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/shared_library.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/vx_fuzz_elf_image." + std::to_string(getpid());
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  static constexpr const char* kNames[] = {"MAPISendMail", "MAPIReadMail"};
  (void)vx::platform::IsLoadableImage(path);
  (void)vx::platform::ExportsAll(path, kNames);
  return 0;
}
