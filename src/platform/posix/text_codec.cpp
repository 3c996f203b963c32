#include "platform/text_codec.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <memory>

#include "platform/posix/recode.h"

namespace vx::platform {

namespace detail {

namespace {

struct IconvClose {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

// The byte length of the UTF-8 character at the start of `in`: a whole well-formed sequence,
// else one byte (a broken sequence never swallows the characters after it).
std::size_t Utf8CharLength(std::string_view in) {
  const auto lead = static_cast<unsigned char>(in.front());
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (length > in.size()) return 1;
  for (std::size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(in[i]) & 0xC0) != 0x80) return 1;
  return length;
}

}  // namespace

std::optional<std::string> Recode(std::string_view in, const char* from, const char* to, OnBadInput bad,
                                  std::string_view replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  const std::unique_ptr<void, IconvClose> owner(cd);

  std::string out;
  out.reserve(in.size() + in.size() / 2);
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  char buffer[4096];
  // One pass per output block; `flush` ends the conversion by writing any final shift sequence.
  for (bool flush = false;;) {
    char* dst = buffer;
    std::size_t room = sizeof buffer;
    const std::size_t done =
        flush ? iconv(cd, nullptr, nullptr, &dst, &room) : iconv(cd, &src, &left, &dst, &room);
    const int error = errno;
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    if (done != static_cast<std::size_t>(-1)) {
      if (flush) return out;
      flush = left == 0;
      continue;
    }
    if (error == E2BIG) continue;
    // EILSEQ, or EINVAL for a sequence cut off at the end: skip it, or give up.
    if (bad == OnBadInput::Fail) return std::string();
    if (flush) return out;
    const std::size_t skip =
        bad == OnBadInput::ReplaceCharacter ? Utf8CharLength(std::string_view(src, left)) : 1;
    src += skip;
    left -= skip;
    out.append(replacement);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
  }
}

}  // namespace detail

using detail::OnBadInput;
using detail::Recode;

namespace {

// True when texts of the locale are taken as UTF-8: a UTF-8 code set, or plain ASCII (the C and
// POSIX locales), which cannot hold the system's Polish texts at all.
bool TextsAreUtf8(std::string_view codeSet) {
  return codeSet == "UTF-8" || codeSet == "utf8" || codeSet == "UTF8" || codeSet == "ANSI_X3.4-1968" ||
         codeSet == "ASCII" || codeSet == "US-ASCII";
}

}  // namespace

std::string Utf8ToLocale(std::string_view utf8) {
  const char* codeSet = nl_langinfo(CODESET);
  if (TextsAreUtf8(codeSet)) return std::string(utf8);
  return Recode(utf8, "UTF-8", codeSet, OnBadInput::ReplaceCharacter, "?").value_or(std::string(utf8));
}

std::string LocaleToUtf8(std::string_view text) {
  const char* codeSet = nl_langinfo(CODESET);
  if (TextsAreUtf8(codeSet)) return std::string(text);
  return Recode(text, codeSet, "UTF-8", OnBadInput::ReplaceByte, "\xEF\xBF\xBD").value_or(std::string(text));
}

std::optional<std::string> CharsetToUtf8(std::string_view bytes, const std::string& charset) {
  return Recode(bytes, charset.c_str(), "UTF-8", OnBadInput::ReplaceByte, "\xEF\xBF\xBD");
}

}  // namespace vx::platform
