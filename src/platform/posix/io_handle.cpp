#include "platform/io_handle.h"

#include <unistd.h>

namespace vx::platform {

IoHandle& IoHandle::operator=(IoHandle&& other) noexcept {
  if (this != &other) {
    Close();
    native_ = other.native_;
    other.native_ = kNone;
  }
  return *this;
}

void IoHandle::Close() noexcept {
  if (native_ != kNone) ::close(static_cast<int>(native_));
  native_ = kNone;
}

}  // namespace vx::platform
