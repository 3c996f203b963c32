#include "platform/text_codec.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>

namespace vx::platform {

namespace {

bool IsUtf8CodeSet(const char* cs) {
  return std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0 || std::strcmp(cs, "UTF8") == 0;
}

// Runs iconv over the whole input; an unconvertible input character is skipped and `replacement`
// is written in its place. `step` is the byte length of one input character to skip (1 for a
// single-byte source; for UTF-8 the length of the sequence).
std::string Convert(const char* to, const char* from, std::string_view in, std::string_view replacement,
                    bool fromUtf8) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  while (srcLeft > 0) {
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      size_t used = out.size() - dstLeft;
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dstLeft = out.size() - used;
      continue;
    }
    // EILSEQ or EINVAL: skip one character of the input and write the replacement.
    size_t skip = 1;
    if (fromUtf8) {
      unsigned char b = static_cast<unsigned char>(*src);
      skip = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
      if (skip > srcLeft) skip = srcLeft;
    }
    src += skip;
    srcLeft -= skip;
    if (dstLeft < replacement.size() + 1) {
      size_t used = out.size() - dstLeft;
      out.resize(out.size() * 2 + replacement.size());
      dst = out.data() + used;
      dstLeft = out.size() - used;
    }
    std::memcpy(dst, replacement.data(), replacement.size());
    dst += replacement.size();
    dstLeft -= replacement.size();
  }
  out.resize(out.size() - dstLeft);
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf8ToLocale(std::string_view utf8) {
  const char* cs = nl_langinfo(CODESET);
  if (IsUtf8CodeSet(cs)) return std::string(utf8);
  return Convert(cs, "UTF-8", utf8, "?", true);
}

std::string LocaleToUtf8(std::string_view text) {
  const char* cs = nl_langinfo(CODESET);
  if (IsUtf8CodeSet(cs)) return std::string(text);
  return Convert("UTF-8", cs, text, "\xEF\xBF\xBD", false);
}

}  // namespace vx::platform
