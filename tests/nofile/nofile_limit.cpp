// Preloaded into a program by tests: once the program's libraries are loaded, it may open no
// further descriptor (the descriptor limit is lowered to the first free one), so sockets, files
// and pipes cannot be created, as in a process that has used up its descriptors.
#include <fcntl.h>
#include <sys/resource.h>

namespace {

__attribute__((constructor)) void UseUpDescriptors() {
  int lowestFree = 0;
  while (fcntl(lowestFree, F_GETFD) != -1) ++lowestFree;
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(lowestFree);
  setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace
