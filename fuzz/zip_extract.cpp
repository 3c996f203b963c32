// ZIP extraction of crafted archives into a temporary folder, with small bounds.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/text_codec.h"
#include "platform/zip_extract.h"

namespace {

const std::filesystem::path& Work() {
  static const std::filesystem::path dir = [] {
    std::string t = (std::filesystem::temp_directory_path() / "vx-fuzz-zip-XXXXXX").string();
    if (mkdtemp(t.data()) == nullptr) std::abort();
    return std::filesystem::path(t);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path archive = Work() / "in.zip";
  const std::filesystem::path folder = Work() / "out";
  if (std::FILE* f = std::fopen(archive.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    std::abort();
  }
  std::filesystem::create_directories(folder);
  (void)vx::platform::ExtractZip(vx::platform::Utf8ToUtf16(archive.string()),
                                 vx::platform::Utf8ToUtf16(folder.string()), {std::uint64_t{16} << 20, 1000});
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return 0;
}
