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

std::size_t TFileXmlSource::Read(std::span<char> buffer) {
  // Held-back bytes go first; the block after them is read behind them.
  std::size_t have = FCarry.size();
  std::memcpy(buffer.data(), FCarry.data(), have);
  FCarry.clear();
  for (;;) {
    std::size_t got = FReader.Read(buffer.subspan(have));
    const bool atEnd = got == 0;
    std::size_t n = StripByteOrderMarks(buffer.data(), have + got, FCarry, atEnd);
    if (n > 0 || atEnd) return n;
    have = FCarry.size();  // only a possible mark so far: read on
    std::memcpy(buffer.data(), FCarry.data(), have);
    FCarry.clear();
  }
}

void TFileXmlSource::Rewind() {
  FReader.Rewind();
  FCarry.clear();
}

}  // namespace vx
