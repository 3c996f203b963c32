#pragma once
// The layer's handle of an open file, pipe end or folder of the system.
#include <cstdint>

namespace vx::platform {

// Owns one open system object; closes it when it goes. Move-only. The value inside is the
// backend's own and only the backend reads it.
class IoHandle {
 public:
  using Native = std::intptr_t;
  static constexpr Native kNone = -1;

  IoHandle() = default;
  explicit IoHandle(Native native) noexcept : native_(native) {}
  IoHandle(IoHandle&& other) noexcept : native_(other.native_) { other.native_ = kNone; }
  IoHandle& operator=(IoHandle&& other) noexcept;
  IoHandle(const IoHandle&) = delete;
  IoHandle& operator=(const IoHandle&) = delete;
  ~IoHandle() { Close(); }

  [[nodiscard]] bool IsOpen() const noexcept { return native_ != kNone; }
  [[nodiscard]] Native native() const noexcept { return native_; }
  void Close() noexcept;

 private:
  Native native_ = kNone;
};

}  // namespace vx::platform
