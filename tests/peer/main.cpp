// A stand-in host for the process tests: starts the worker, reports its process id on standard
// output and then serves messages until it is killed.
#include <cstdio>
#include <cstring>

#include "link/worker_com.h"

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "host") != 0) {
    std::fprintf(stderr, "usage: vx_test_peer host\n");
    return 2;
  }
  vx::Tvx64BWorkerCom com;
  com.SetStatus(vx::kStatusWaitForClient);
  com.Start64BWorker();
  if (com.ClientStatus() != vx::kStatusReady || com.WorkerProcess() == nullptr) {
    std::printf("FAIL\n");
    return 2;
  }
  std::printf("WORKER %d\n", static_cast<int>(com.WorkerProcess()->pid()));
  std::fflush(stdout);
  while (vx::Tvx64BWorkerCom::GetAndProcessMsg()) {
  }
  return 0;
}
