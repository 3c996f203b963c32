#include "json/write/writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <new>

#include "platform/page_memory.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vx::json {

namespace {
constexpr std::string_view kLineBreak = "\r\n";

// The longest integer text: a sign and 19 digits.
constexpr std::size_t kIntMax = 20;
char* IntTo(char* dst, std::int64_t value) noexcept {
  return std::to_chars(dst, dst + kIntMax, value).ptr;
}

// The longest float text: "-0.000" and 15 digits, or "-d." and 14 digits with "E-308".
constexpr std::size_t kFloatMax = 24;
char* FloatTo(char* dst, double value) noexcept;

constexpr char kHex[] = "0123456789abcdef";

// Blocks from this size on are backed ahead of writing, this much at a time.
constexpr std::size_t kBackFrom = std::size_t{1} << 20;
constexpr std::size_t kBackStretch = std::size_t{1} << 18;
}  // namespace

void TJSONWriter::Grow(std::size_t count) {
  if (count > SIZE_MAX / 2 - FUsed) throw std::bad_alloc();
  if (FCapacity - FUsed < count) {
    const std::size_t capacity = std::max({FCapacity * 2, FUsed + count, std::size_t{256}});
    char* data = static_cast<char*>(std::realloc(FData.get(), capacity));
    if (data == nullptr) throw std::bad_alloc();
    (void)FData.release();
    FData.reset(data);
    FCapacity = capacity;
  }
  if (FCapacity < kBackFrom) {
    FReady = FCapacity;
    return;
  }
  // The next stretch after what is needed now, from the end of the backed part.
  const std::size_t ready = std::min(FCapacity, std::max(FReady, FUsed + count) + kBackStretch);
  const std::size_t from = std::max(FReady, FUsed);
  if (ready > from) platform::BackPages(FData.get() + from, ready - from);
  FReady = ready;
}

void TJSONWriter::Indent() {
  if (FIdent && FIdentOffset > 0) {
    const auto n = static_cast<std::size_t>(FIdentOffset);
    std::memset(Room(n), ' ', n);
    FUsed += n;
  }
}

void TJSONWriter::AppendIndented(std::string_view Value, bool CRLF) {
  Indent();
  Put(Value);
  if (CRLF && FIdent) Put(kLineBreak);
}

void TJSONWriter::Append(UStringView Value, bool CRLF) {
  Indent();
  Put(UToUtf8(Value));
  if (CRLF && FIdent) Put(kLineBreak);
}

void TJSONWriter::Append(std::int64_t Value, bool CRLF) {
  if (FIdent) {
    char buf[kIntMax];
    return AppendIndented(std::string_view(buf, static_cast<std::size_t>(IntTo(buf, Value) - buf)), CRLF);
  }
  FUsed = static_cast<std::size_t>(IntTo(Room(kIntMax), Value) - FData.get());
}

void TJSONWriter::AppendVal(UStringView Value, bool CRLF) {
  Put(UToUtf8(Value));
  if (CRLF) Put(kLineBreak);
}

void TJSONWriter::AppendVal(std::int64_t Value, bool CRLF) {
  Append(Value, CRLF);
}

void TJSONWriter::AppendFloat(double Value) {
  FUsed = static_cast<std::size_t>(FloatTo(Room(kFloatMax), Value) - FData.get());
}

UString TJSONWriter::ToString() const {
  const std::string_view data = Utf8();
  UString out;
  out.reserve(data.size());
  for (unsigned char c : data) {
    if (c >= 0x80) return Utf8ToU(data);
    out.push_back(c);
  }
  return out;
}

namespace {
// Code units 32..126 other than the quotation mark and the backslash are written unchanged.
constexpr std::array<bool, 128> kPlain = [] {
  std::array<bool, 128> plain{};
  for (int c = 32; c <= 126; ++c) plain[static_cast<size_t>(c)] = c != '"' && c != '\\';
  return plain;
}();

// Copies the leading run of plain units of [src, end) to dst as bytes; answers the first unit
// not copied. Eight units are tested and copied at once; dst has room for six bytes per unit,
// so the eight bytes stored for a run shorter than eight stay inside it.
const char16_t* CopyPlain(char*& dst, const char16_t* src, const char16_t* end) noexcept {
#if defined(__SSE2__)
  const __m128i below = _mm_set1_epi16(0x20);
  const __m128i above = _mm_set1_epi16(0x7e);
  const __m128i quote = _mm_set1_epi16('"');
  const __m128i backslash = _mm_set1_epi16('\\');
  while (end - src >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    // Units from 0x8000 on compare as negative, so they count as below 0x20.
    const __m128i special =
        _mm_or_si128(_mm_or_si128(_mm_cmplt_epi16(units, below), _mm_cmpgt_epi16(units, above)),
                     _mm_or_si128(_mm_cmpeq_epi16(units, quote), _mm_cmpeq_epi16(units, backslash)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(units, units));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
    if (mask != 0) {
      const int plain = __builtin_ctz(mask) / 2;
      dst += plain;
      return src + plain;
    }
    dst += 8;
    src += 8;
  }
#endif
  while (src != end && *src < 128 && kPlain[*src]) *dst++ = static_cast<char>(*src++);
  return src;
}

// Whether a word holds a byte to escape: below 0x20, from 0x7f on, '"' or '\\'. (A byte with
// its top bit set marks the first two tests; each other test is nonzero exactly when some byte
// lies below its bound or equals its character.)
template <class Word>
bool HasSpecialByte(Word w) noexcept {
  constexpr Word kOnes = static_cast<Word>(~Word{0}) / 0xff;
  constexpr Word kHigh = kOnes * 0x80;
  const auto below = [&](Word x, unsigned bound) { return static_cast<Word>((x - kOnes * bound) & ~x); };
  const Word special = below(w, 0x20) | static_cast<Word>(w + kOnes) | below(w ^ (kOnes * '"'), 1) |
                       below(w ^ (kOnes * '\\'), 1);
  return ((special | w) & kHigh) != 0;
}

// Copies n units kept one byte each (one to two words' worth) when none of them is to be
// escaped: two overlapping words cover them. False for units that need escaping.
template <class Word>
bool CopyTwoWords(char* dst, const char* src, std::size_t n) noexcept {
  Word head, tail;
  std::memcpy(&head, src, sizeof(Word));
  std::memcpy(&tail, src + n - sizeof(Word), sizeof(Word));
  if (HasSpecialByte(head) || HasSpecialByte(tail)) return false;
  std::memcpy(dst, &head, sizeof(Word));
  std::memcpy(dst + n - sizeof(Word), &tail, sizeof(Word));
  return true;
}

// Copies a text of four to sixteen units kept one byte each when none of them is to be escaped.
// Answers the end, or nullptr for a text that needs escaping.
char* CopyShortPlain(char* dst, std::string_view text) noexcept {
  const std::size_t n = text.size();
  const bool copied = n >= 8 ? CopyTwoWords<std::uint64_t>(dst, text.data(), n)
                             : CopyTwoWords<std::uint32_t>(dst, text.data(), n);
  return copied ? dst + n : nullptr;
}

// The same for units kept one byte each (below U+0100), sixteen at a time.
const char* CopyPlain(char*& dst, const char* src, const char* end) noexcept {
#if defined(__SSE2__)
  const __m128i below = _mm_set1_epi8(0x20);
  const __m128i del = _mm_set1_epi8(0x7f);
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  while (end - src >= 16) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    // Units from 0x80 on compare as negative, so they count as below 0x20.
    const __m128i special =
        _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(units, below), _mm_cmpeq_epi8(units, del)),
                     _mm_or_si128(_mm_cmpeq_epi8(units, quote), _mm_cmpeq_epi8(units, backslash)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), units);
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
    if (mask != 0) {
      const int plain = __builtin_ctz(mask);
      dst += plain;
      return src + plain;
    }
    dst += 16;
    src += 16;
  }
#endif
  while (src != end && static_cast<unsigned char>(*src) < 128 && kPlain[static_cast<unsigned char>(*src)])
    *dst++ = *src++;
  return src;
}

// Escapes `text` into dst, which has room for kEscapedMax characters per unit; answers the end,
// and whether an embedded NUL ended the text.
template <class Unit>
char* EscapeTo(char* dst, std::basic_string_view<Unit> text, bool& stopped) noexcept {
  const Unit* src = text.data();
  const Unit* const end = src + text.size();
  while (src != end) {
    src = CopyPlain(dst, src, end);
    if (src == end) break;
    const char16_t c = UnitCode(*src++);  // a unit to escape
    char second = 0;
    switch (c) {
      case 0:
        stopped = true;
        return dst;
      case 8:
        second = 'b';
        break;
      case 9:
        second = 't';
        break;
      case 10:
        second = 'n';
        break;
      case 12:
        second = 'f';
        break;
      case 13:
        second = 'r';
        break;
      case u'"':
        second = '"';
        break;
      case u'\\':
        second = '\\';
        break;
      default:
        break;
    }
    *dst++ = '\\';
    if (second != 0) {
      *dst++ = second;
    } else {
      *dst++ = 'u';
      *dst++ = kHex[(c >> 12) & 15];
      *dst++ = kHex[(c >> 8) & 15];
      *dst++ = kHex[(c >> 4) & 15];
      *dst++ = kHex[c & 15];
    }
  }
  return dst;
}
constexpr std::size_t kEscapedMax = 6;
// Texts are escaped in pieces of this many units, so that a long text needs no room for six
// times its length at once.
constexpr std::size_t kPiece = 4096;

// A text that is exactly one NUL is written as an escape; otherwise the text ends at its first
// NUL. `room(n)` answers a place for n characters, `used(end)` takes what was written there.
template <class Unit, class Room, class Used>
void Escape(std::basic_string_view<Unit> text, Room room, Used used) {
  if (text.size() == 1 && text[0] == 0) {
    used(std::copy_n("\\u0000", 6, room(6)));
    return;
  }
  bool stopped = false;
  while (!text.empty() && !stopped) {
    const auto piece = text.substr(0, kPiece);
    text.remove_prefix(piece.size());
    used(EscapeTo(room(piece.size() * kEscapedMax), piece, stopped));
  }
}
}  // namespace

void TJSONWriter::AppendString(UStringView Value) {
  AppendQuoted(Value);
}

template <class Unit>
void TJSONWriter::AppendQuoted(std::basic_string_view<Unit> Value) {
  if constexpr (sizeof(Unit) == 1) {
    // Names and short values, mostly nothing to escape: copied whole when so.
    if (Value.size() >= 4 && Value.size() <= 16) {
      char* dst = Room(18);
      if (char* end = CopyShortPlain(dst + 1, Value)) {
        *dst = '"';
        *end++ = '"';
        FUsed = static_cast<std::size_t>(end - FData.get());
        return;
      }
    }
  }
  if (Value.size() <= kPiece && (Value.size() != 1 || Value[0] != 0)) {
    // Room for the quotes and the escaped text at once.
    char* dst = Room(Value.size() * kEscapedMax + 2);
    *dst++ = '"';
    bool stopped = false;
    dst = EscapeTo(dst, Value, stopped);
    *dst++ = '"';
    FUsed = static_cast<std::size_t>(dst - FData.get());
    return;
  }
  AppendVal('"');
  Escape(
      Value, [&](std::size_t n) { return Room(n); },
      [&](char* end) { FUsed = static_cast<std::size_t>(end - FData.get()); });
  AppendVal('"');
}
template void TJSONWriter::AppendQuoted(std::basic_string_view<char> Value);
template void TJSONWriter::AppendQuoted(std::basic_string_view<char16_t> Value);

namespace {
// The float text: 15 significant digits, positional for 1E-4 <= |v| < 1E15, else d.dddE[-]x.
char* FloatTo(char* dst, double value) noexcept {
  auto put = [&](std::string_view text) { return std::copy(text.begin(), text.end(), dst); };
  if (std::isnan(value)) return put("NAN");
  if (std::isinf(value)) return put(value > 0 ? "INF" : "-INF");
  if (value == 0) return put("0");
  // Scientific text with 15 significant digits: [-]d.dddddddddddddde[+-]x. The shortest text
  // that reads back as the value is made first, as it is much quicker: when it has at most 15
  // digits, it is the value rounded to 15 digits (it lies within half a unit of the double, far
  // less than half a step of the 15th digit), only without the trailing zeros.
  char sci[40];
  const char* end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
  if (std::find(static_cast<const char*>(sci), end, 'e') - sci > (sci[0] == '-' ? 17 : 16)) {
    end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 14).ptr;
  }
  const char* p = sci;
  if (*p == '-') {
    *dst++ = '-';
    ++p;
  }
  char digits[16];
  int nd = 0;
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.') digits[nd++] = *p;
  }
  while (nd > 0 && digits[nd - 1] == '0') --nd;
  int exp10 = 0;
  ++p;  // 'e'
  if (p != end && *p == '+') ++p;
  std::from_chars(p, end, exp10);
  const int e = exp10 + 1;  // value = 0.d1d2... * 10^e
  if (e >= -3 && e <= 15) {
    if (e <= 0) {
      *dst++ = '0';
    } else {
      for (int i = 0; i < e; ++i) *dst++ = i < nd ? digits[i] : '0';
    }
    if (nd > e) {
      *dst++ = '.';
      for (int i = e; i < 0; ++i) *dst++ = '0';
      dst = std::copy(digits + (e > 0 ? e : 0), digits + nd, dst);
    }
  } else {
    *dst++ = digits[0];
    if (nd > 1) {
      *dst++ = '.';
      dst = std::copy(digits + 1, digits + nd, dst);
    }
    *dst++ = 'E';
    dst = std::to_chars(dst, dst + 5, e - 1).ptr;
  }
  return dst;
}
}  // namespace

void AppendFloat(std::string& out, double value) {
  char buf[kFloatMax];
  out.append(buf, FloatTo(buf, value));
}

std::string FloatToJSONText(double value) {
  std::string out;
  AppendFloat(out, value);
  return out;
}

}  // namespace vx::json
