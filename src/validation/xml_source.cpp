#include "validation/xml_source.h"

#include <algorithm>
#include <cstring>

namespace vx {

std::size_t TTextXmlSource::Read(std::span<char> buffer) {
  std::size_t n = std::min(buffer.size(), FText.size() - FPos);
  std::memcpy(buffer.data(), FText.data() + FPos, n);
  FPos += n;
  return n;
}

std::size_t StripByteOrderMarks(char* data, std::size_t n, std::string& carry, bool atEnd) {
  auto* b = reinterpret_cast<unsigned char*>(data);
  std::size_t out = 0;
  std::size_t i = 0;
  while (i < n) {
    auto* hit = static_cast<unsigned char*>(std::memchr(b + i, 0xEF, n - i));
    std::size_t next = hit == nullptr ? n : static_cast<std::size_t>(hit - b);
    if (out != i) std::memmove(b + out, b + i, next - i);
    out += next - i;
    i = next;
    if (i == n) break;
    const std::size_t left = n - i;
    if (left >= 3 && b[i + 1] == 0xBB && b[i + 2] == 0xBF) {
      i += 3;  // a mark: dropped
      continue;
    }
    if (!atEnd && (left == 1 || (left == 2 && b[i + 1] == 0xBB))) {
      carry.assign(data + i, left);  // may become a mark with the next block
      break;
    }
    b[out++] = b[i++];
  }
  return out;
}

EInvalidUtf8::EInvalidUtf8(std::uint64_t offset)
    : platform::EFileError("Plik nie jest tekstem UTF-8: niepoprawna sekwencja bajtów od pozycji " +
                           std::to_string(offset) + " (licząc od 0).") {}

std::size_t TUtf8Check::Scan(std::span<const char> data) {
  const auto* b = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t n = data.size();
  const std::uint64_t base = FOffset;
  // Deliver nothing of the bad sequence (it may have begun in an earlier block).
  auto bad = [&](std::size_t at) {
    FOffset = base + at;
    return FSequenceStart >= base ? static_cast<std::size_t>(FSequenceStart - base) : std::size_t{0};
  };
  std::size_t i = 0;
  while (i < n) {
    if (FNeed == 0) {
      // Plain ASCII, 32 and then eight bytes at a time.
      while (i + 32 <= n) {
        std::uint64_t w[4];
        std::memcpy(w, b + i, 32);
        if (((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080ULL) != 0) break;
        i += 32;
      }
      while (i + 8 <= n) {
        std::uint64_t word;
        std::memcpy(&word, b + i, 8);
        if ((word & 0x8080808080808080ULL) != 0) break;
        i += 8;
      }
      if (i == n) break;
      const unsigned char c = b[i];
      if (c < 0x80) {
        ++i;
        continue;
      }
      FSequenceStart = base + i;
      FLow = 0x80;
      FHigh = 0xBF;
      if (c >= 0xC2 && c <= 0xDF) {
        FNeed = 1;
      } else if (c >= 0xE0 && c <= 0xEF) {
        FNeed = 2;
        if (c == 0xE0) FLow = 0xA0;   // overlong
        if (c == 0xED) FHigh = 0x9F;  // surrogates
      } else if (c >= 0xF0 && c <= 0xF4) {
        FNeed = 3;
        if (c == 0xF0) FLow = 0x90;   // overlong
        if (c == 0xF4) FHigh = 0x8F;  // above U+10FFFF
      } else {
        return bad(i);
      }
      ++i;
      continue;
    }
    const unsigned char c = b[i];
    if (c < FLow || c > FHigh) return bad(i);
    FLow = 0x80;
    FHigh = 0xBF;
    --FNeed;
    ++i;
  }
  FOffset = base + n;
  return n;
}

bool TUtf8Check::Finish() {
  return FNeed == 0;
}

std::size_t TFileXmlSource::Read(std::span<char> buffer) {
  if (FBad) throw EInvalidUtf8(FCheck.Bad());
  // Held-back bytes go first; the block after them is read behind them.
  std::size_t have = FCarry.size();
  std::memcpy(buffer.data(), FCarry.data(), have);
  FCarry.clear();
  for (;;) {
    std::size_t got = FReader.Read(buffer.subspan(have));
    const bool atEnd = got == 0;
    const std::size_t good = FCheck.Scan(std::span<const char>(buffer.data() + have, got));
    if (good < got || (atEnd && !FCheck.Finish())) {
      FBad = true;
      got = good;
    }
    std::size_t n = StripByteOrderMarks(buffer.data(), have + got, FCarry, atEnd || FBad);
    if (n > 0) return n;
    if (FBad) throw EInvalidUtf8(FCheck.Bad());
    if (atEnd) return 0;
    have = FCarry.size();  // only a possible mark so far: read on
    std::memcpy(buffer.data(), FCarry.data(), have);
    FCarry.clear();
  }
}

void TFileXmlSource::Rewind() {
  FReader.Rewind();
  FCarry.clear();
  FCheck.Reset();
  FBad = false;
}

}  // namespace vx
