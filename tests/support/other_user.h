#pragma once
// A second user of this machine, for tests of what another user may and may not do.
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

namespace vx::test {

// Runs `body` in a child process as another user; returns its exit code (100: could not switch,
// 200: did not exit normally).
template <typename Body>
int AsOtherUser(uid_t uid, gid_t gid, Body body) {
  pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(100);
    _exit(body());
  }
  int status = -1;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

// The user "vx64probe" (created when missing); nullopt unless running as root.
inline std::optional<passwd> SecondUser() {
  if (geteuid() != 0) return std::nullopt;
  if (getpwnam("vx64probe") == nullptr &&
      std::system("useradd --system --no-create-home --shell /usr/sbin/nologin vx64probe >/dev/null 2>&1") !=
          0)
    return std::nullopt;
  passwd* pw = getpwnam("vx64probe");
  if (pw == nullptr) return std::nullopt;
  return *pw;
}

}  // namespace vx::test
