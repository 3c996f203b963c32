#include "checked_output.h"

#include <cerrno>

namespace vx::tools {

void TCheckedOutput::Fail() {
  if (!FFailed) FError = errno;
  FFailed = true;
}

TCheckedOutput::int_type TCheckedOutput::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  errno = 0;
  if (std::fputc(traits_type::to_char_type(c), FFile) == EOF) {
    Fail();
    return traits_type::eof();
  }
  return c;
}

std::streamsize TCheckedOutput::xsputn(const char* s, std::streamsize n) {
  errno = 0;
  const std::size_t written = std::fwrite(s, 1, static_cast<std::size_t>(n), FFile);
  if (written != static_cast<std::size_t>(n)) Fail();
  return static_cast<std::streamsize>(written);
}

int TCheckedOutput::sync() {
  errno = 0;
  if (std::fflush(FFile) != 0) {
    Fail();
    return -1;
  }
  return 0;
}

bool TCheckedOutput::Finish() {
  return sync() == 0 && !FFailed && std::ferror(FFile) == 0;
}

}  // namespace vx::tools
