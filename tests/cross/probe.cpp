// Prints what the cross-architecture test checks in this build's own process: the width of
// time_t, off_t and pointers, the worker-mode switch and the size of a file as the host reads it.
#include <sys/types.h>

#include <cstdio>
#include <ctime>

#include "common/system_functions.h"
#include "core/ustring.h"
#include "validation/worker_job.h"

int main(int argc, char** argv) {
  std::printf("pointer=%zu time_t=%zu off_t=%zu wow64=%d\n", sizeof(void*) * 8, sizeof(std::time_t) * 8,
              sizeof(off_t) * 8, vx::IsWow64Process() ? 1 : 0);
  if (argc > 1) {
    std::printf("size=%llu\n", static_cast<unsigned long long>(vx::FileSizeInBytes(vx::Utf8ToU(argv[1]))));
  }
  return 0;
}
