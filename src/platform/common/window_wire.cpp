// Encoding and assembly of the frames window messages travel in.
#include "platform/common/window_wire.h"

#include <algorithm>
#include <cstring>

namespace vx::platform::wire {

std::array<unsigned char, kHeaderSize> Encode(const Header& h) {
  std::array<unsigned char, kHeaderSize> out{};
  auto put = [&out](std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  put(0, h.magic, 4);
  put(4, h.kind, 4);
  put(8, h.message, 4);
  put(12, h.reserved, 4);
  put(16, h.wParam, 8);
  put(24, h.value, 8);
  put(32, h.length, 8);
  return out;
}

Header Decode(const unsigned char* b) {
  auto get = [b](std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
  };
  Header h;
  h.magic = static_cast<std::uint32_t>(get(0, 4));
  h.kind = static_cast<std::uint32_t>(get(4, 4));
  h.message = static_cast<std::uint32_t>(get(8, 4));
  h.reserved = static_cast<std::uint32_t>(get(12, 4));
  h.wParam = get(16, 8);
  h.value = get(24, 8);
  h.length = get(32, 8);
  return h;
}

std::span<unsigned char> FrameReader::Space() {
  if (!headerDone_) return {head_.data() + have_, kHeaderSize - have_};
  const std::size_t got = have_ - kHeaderSize;
  if (got == payload_.size()) {
    // Grow by what has arrived (doubling), starting small, never past the claimed length.
    constexpr std::size_t kFirstChunk = 64 * 1024;
    payload_.resize(static_cast<std::size_t>(
        std::min<std::uint64_t>(header_.length, std::max(kFirstChunk, payload_.size() * 2))));
  }
  return {payload_.data() + got, payload_.size() - got};
}

FrameReader::State FrameReader::Check() {
  if (header_.magic != kMagic || header_.kind != kSend) return State::BadHeader;
  if (header_.length > kMaxPayload) return State::TooLarge;
  return State::NeedMore;
}

FrameReader::State FrameReader::Commit(std::size_t n) {
  have_ += n;
  if (!headerDone_) {
    if (have_ < kHeaderSize) return State::NeedMore;
    header_ = Decode(head_.data());
    headerDone_ = true;
    if (State s = Check(); s != State::NeedMore) return s;
  }
  return have_ - kHeaderSize == header_.length ? State::Complete : State::NeedMore;
}

std::size_t FrameReader::Feed(std::span<const unsigned char> bytes, State& state) {
  std::size_t used = 0;
  state = State::NeedMore;
  if (headerDone_ && have_ - kHeaderSize == header_.length) return 0;  // a frame waits to be taken
  while (used < bytes.size()) {
    std::span<unsigned char> space = Space();
    const std::size_t n = std::min(space.size(), bytes.size() - used);
    std::memcpy(space.data(), bytes.data() + used, n);
    used += n;
    state = Commit(n);
    if (state != State::NeedMore) break;
  }
  return used;
}

std::vector<unsigned char> FrameReader::Take() {
  std::vector<unsigned char> out = std::move(payload_);
  out.resize(static_cast<std::size_t>(header_.length));
  *this = FrameReader();
  return out;
}

}  // namespace vx::platform::wire
