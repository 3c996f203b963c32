// A byte stream from another process into the receive path of a window: frames assembled in
// chunks of varying size until the stream ends or a frame is refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/common/window_wire.h"

using vx::platform::wire::FrameReader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks how the stream is cut up on its way, as reads of a socket would.
  const std::size_t chunk = 1 + data[0] % 64;
  std::span<const unsigned char> stream(data + 1, size - 1);
  FrameReader reader;
  std::size_t at = 0;
  while (at < stream.size()) {
    const std::size_t n = std::min(chunk, stream.size() - at);
    FrameReader::State state;
    const std::size_t used = reader.Feed(stream.subspan(at, n), state);
    at += used;
    if (state == FrameReader::State::BadHeader || state == FrameReader::State::TooLarge) break;
    if (state == FrameReader::State::Complete) {
      const std::uint64_t length = reader.header().length;
      if (reader.Take().size() != length) std::abort();
      if (reader.Started()) std::abort();
    } else if (used != n) {
      std::abort();  // an incomplete frame takes every byte offered
    }
  }
  return 0;
}
