#pragma once
// Captures the debug channel of this process (and of the programs it starts) in a temporary file.
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vx::test {

class DebugLogCapture {
 public:
  DebugLogCapture();
  ~DebugLogCapture();
  // Lines written since the last Clear, without the executable-path prefix when `stripPath`.
  [[nodiscard]] std::vector<std::string> Lines(bool stripPath = true) const;
  [[nodiscard]] bool Contains(const std::string& text) const;
  void Clear();
  [[nodiscard]] std::string path() const { return (dir_ / "debug.log").string(); }

 private:
  TempDir dir_;
  std::string previous_;
  bool hadPrevious_ = false;
};

}  // namespace vx::test
