#pragma once
// Descriptor helpers of the POSIX backend.
#include <string>
#include <string_view>

#include "platform/io_handle.h"

namespace vx::platform::detail {

[[nodiscard]] inline int Fd(const IoHandle& handle) {
  return static_cast<int>(handle.native());
}

// Writes all of `bytes`; 0 on success, else the error number of the failed write.
[[nodiscard]] int WriteAll(int fd, std::string_view bytes);

// Reads up to `size` bytes, retrying an interrupted read; what read() returns.
[[nodiscard]] long long ReadSome(int fd, char* buffer, std::size_t size);

// The system's text for an error number, as UTF-8.
[[nodiscard]] std::string ErrorText(int error);

}  // namespace vx::platform::detail
