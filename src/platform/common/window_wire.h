#pragma once
// Wire layout of window messages between processes (internal to the platform layer; tests and
// the fuzz target use it to craft frames). A frame is a fixed little-endian header followed by
// `length` bytes; every field has the same width for 32- and 64-bit peers.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vx::platform::wire {

inline constexpr std::uint32_t kMagic = 0x34365856;  // "VX64"
inline constexpr std::uint32_t kSend = 1;
inline constexpr std::uint32_t kReply = 2;
inline constexpr std::uint32_t kRefused = 3;  // answer to a frame the receiver will not take
inline constexpr std::size_t kHeaderSize = 40;
inline constexpr std::uint64_t kMaxPayload = std::uint64_t{1} << 30;

struct Header {
  std::uint32_t magic = kMagic;
  std::uint32_t kind = kSend;
  std::uint32_t message = 0;
  std::uint32_t reserved = 0;
  std::uint64_t wParam = 0;
  std::uint64_t value = 0;   // lParam, dwData of kMsgCopyData, or the result of a reply
  std::uint64_t length = 0;  // payload bytes (cbData of kMsgCopyData)
};

[[nodiscard]] std::array<unsigned char, kHeaderSize> Encode(const Header& h);
[[nodiscard]] Header Decode(const unsigned char* bytes);

// Assembles one incoming frame from the bytes as they arrive. The payload buffer starts at
// 64 KiB and doubles only when full, so a header that claims a large payload costs little until
// the payload really comes.
class FrameReader {
 public:
  enum class State { NeedMore, Complete, BadHeader, TooLarge };

  // Where the next received bytes go (never empty while the frame is incomplete).
  [[nodiscard]] std::span<unsigned char> Space();
  // Accounts for `n` bytes written into Space().
  State Commit(std::size_t n);
  // Feeds bytes from a buffer; returns how many were used (stops at the end of a frame).
  std::size_t Feed(std::span<const unsigned char> bytes, State& state);

  [[nodiscard]] bool Started() const { return have_ > 0; }
  [[nodiscard]] bool HeaderDone() const { return headerDone_; }
  [[nodiscard]] const Header& header() const { return header_; }
  // The completed frame's payload; the reader starts over for the next frame.
  [[nodiscard]] std::vector<unsigned char> Take();

 private:
  [[nodiscard]] State Check();
  std::array<unsigned char, kHeaderSize> head_{};
  Header header_;
  std::vector<unsigned char> payload_;
  std::size_t have_ = 0;  // bytes of the frame received so far, header included
  bool headerDone_ = false;
};

}  // namespace vx::platform::wire
