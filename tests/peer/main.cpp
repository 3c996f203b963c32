// A stand-in peer for the process tests.
//   vx_test_peer host          starts the worker, prints "WORKER <pid>", then serves messages
//   vx_test_peer respond HWND  announces itself to HWND and answers commands until killed
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/worker_com.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "respond") == 0) {
    vx::Tvx64BWorkerCom com;
    com.SetClientHWND(std::atoll(argv[2]));
    com.SendClientReconnect();
    while (vx::Tvx64BWorkerCom::GetAndProcessMsg()) {
    }
    return 0;
  }
  if (argc < 2 || std::strcmp(argv[1], "host") != 0) {
    std::fprintf(stderr, "usage: vx_test_peer host | respond HWND\n");
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
