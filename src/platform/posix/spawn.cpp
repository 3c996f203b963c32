// The only place this backend starts a program.
#include "platform/posix/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace vx::platform::detail {

namespace {

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attr_);
    posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  posix_spawnattr_t* attr() { return &attr_; }
  posix_spawn_file_actions_t* actions() { return &actions_; }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
};

void Redirect(posix_spawn_file_actions_t* actions, const ChildStream& stream, int target, int openFlags) {
  switch (stream.kind) {
    case ChildStream::Kind::Inherit:
      break;
    case ChildStream::Kind::Null:
      posix_spawn_file_actions_addopen(actions, target, "/dev/null", openFlags, 0);
      break;
    case ChildStream::Kind::Descriptor:
      posix_spawn_file_actions_adddup2(actions, stream.fd, target);
      break;
  }
}

}  // namespace

int Spawn(const SpawnRequest& request, pid_t& pid) {
  SpawnSetup setup;
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(setup.attr(), &none);
  sigset_t all;
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigdefault(setup.attr(), &all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (request.ownProcessGroup) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(setup.attr(), 0);
  }
  posix_spawnattr_setflags(setup.attr(), flags);

  Redirect(setup.actions(), request.input, STDIN_FILENO, O_RDONLY);
  Redirect(setup.actions(), request.output, STDOUT_FILENO, O_WRONLY);
  // Only the standard streams are passed on, even if some library left a descriptor open.
  posix_spawn_file_actions_addclosefrom_np(setup.actions(), STDERR_FILENO + 1);

  std::vector<char*> argv;
  argv.reserve(request.argv.size() + 1);
  for (const std::string& a : request.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return request.searchPath ? posix_spawnp(&pid, request.program.c_str(), setup.actions(), setup.attr(),
                                           argv.data(), environ)
                            : posix_spawn(&pid, request.program.c_str(), setup.actions(), setup.attr(),
                                          argv.data(), environ);
}

}  // namespace vx::platform::detail
