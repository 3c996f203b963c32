#include "json/serialize/member_types.h"

#include <cstring>

namespace vx::json {

void TMemoryStream::Write(std::span<const std::uint8_t> bytes) {
  const auto at = static_cast<std::size_t>(FPosition);
  if (at + bytes.size() > FData.size()) FData.resize(at + bytes.size());
  std::copy(bytes.begin(), bytes.end(), FData.begin() + static_cast<std::ptrdiff_t>(at));
  FPosition += static_cast<std::int64_t>(bytes.size());
}

std::size_t TMemoryStream::Read(std::span<std::uint8_t> bytes) {
  const auto at = static_cast<std::size_t>(FPosition);
  const std::size_t n = std::min(bytes.size(), FData.size() - at);
  if (n > 0) std::memcpy(bytes.data(), FData.data() + at, n);
  FPosition += static_cast<std::int64_t>(n);
  return n;
}

}  // namespace vx::json
