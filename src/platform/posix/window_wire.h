#pragma once
// Wire layout of window messages between processes (internal to the platform layer; tests use
// it to craft frames). Each window listens on an abstract Unix stream socket named after the
// user and the handle. A frame is a fixed little-endian header followed by `length` bytes.
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/window.h"

namespace vx::platform::wire {

inline constexpr std::uint32_t kMagic = 0x34365856;  // "VX64"
inline constexpr std::uint32_t kSend = 1;
inline constexpr std::uint32_t kReply = 2;
inline constexpr std::size_t kHeaderSize = 40;
inline constexpr std::uint64_t kMaxPayload = std::uint64_t{1} << 30;

struct Header {
  std::uint32_t magic = kMagic;
  std::uint32_t kind = kSend;
  std::uint32_t message = 0;
  std::uint32_t reserved = 0;
  std::uint64_t wParam = 0;
  std::uint64_t value = 0;   // lParam, dwData of WM_COPYDATA, or the result of a reply
  std::uint64_t length = 0;  // payload bytes (cbData of WM_COPYDATA)
};

[[nodiscard]] std::array<unsigned char, kHeaderSize> Encode(const Header& h);
[[nodiscard]] Header Decode(const unsigned char* bytes);

// The abstract socket address of a window of the given user (leading NUL included).
[[nodiscard]] std::string SocketName(uid_t uid, HWND hwnd);

}  // namespace vx::platform::wire
