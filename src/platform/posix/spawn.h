#pragma once
// The one way this backend starts a program.
#include <sys/types.h>

#include <string>
#include <vector>

namespace vx::platform::detail {

// Where a standard stream of the child comes from.
struct ChildStream {
  enum class Kind { Inherit, Null, Descriptor };
  Kind kind = Kind::Inherit;
  int fd = -1;  // for Kind::Descriptor

  static ChildStream Inherited() { return {}; }
  static ChildStream NullDevice() { return {Kind::Null, -1}; }
  static ChildStream From(int fd) { return {Kind::Descriptor, fd}; }
};

struct SpawnRequest {
  std::string program;  // a path; a bare name is looked up along PATH when `searchPath`
  bool searchPath = false;
  std::vector<std::string> argv;  // argv[0] included
  ChildStream input;              // standard input
  ChildStream output;             // standard output; standard error is always this process's
  bool ownProcessGroup = false;   // the child leads a process group of its own
};

// Starts a program under the one policy for every child of this process: it starts with no
// blocked signal and the default handling of every signal, whatever this process has set up,
// and with the standard streams only (every descriptor from 3 up is closed in it). With
// `ownProcessGroup` the child leads a new process group, so that ending it can end whatever
// it has started as well. 0 and the child's id in `pid`, or the error number.
[[nodiscard]] int Spawn(const SpawnRequest& request, pid_t& pid);

}  // namespace vx::platform::detail
