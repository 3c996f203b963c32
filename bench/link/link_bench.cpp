// Link benchmark between a host (this process) and a worker process:
//  - round trip of CMD_GET_STATUS -> CMD_GET_STATUS_RESULT (two synchronous sends),
//  - WindowExists on the worker's window (the liveness test both sides run in their loops),
//  - time from starting the worker to its CLIENTRECONNECT,
//  - the floor: two request/answer exchanges over a Unix stream socket pair between two processes.
// Usage: vx_bench_link [round trips] [starts]
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "link/worker_com.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  double median_us;
  double p99_us;
};

Figures Summarise(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

double Since(Clock::time_point t) {
  return std::chrono::duration<double, std::micro>(Clock::now() - t).count();
}

Figures RoundTrips(vx::Tvx64BWorkerCom& host, int n) {
  std::vector<double> us;
  us.reserve(n);
  for (int i = 0; i < n; ++i) {
    auto t = Clock::now();
    host.SendCommand(u"CMD_GET_STATUS", nullptr);
    us.push_back(Since(t));
  }
  return Summarise(std::move(us));
}

Figures LivenessTests(vx::HWND window, int n) {
  std::vector<double> us;
  us.reserve(n);
  for (int i = 0; i < n; ++i) {
    auto t = Clock::now();
    if (!vx::platform::WindowExists(window)) std::exit(1);
    us.push_back(Since(t));
  }
  return Summarise(std::move(us));
}

Figures Starts(int n) {
  std::vector<double> us;
  for (int i = 0; i < n; ++i) {
    vx::Tvx64BWorkerCom host;
    host.SetStatus(vx::kStatusWaitForClient);
    auto t = Clock::now();
    host.Start64BWorker();
    double took = Since(t);
    if (host.ClientStatus() != vx::kStatusReady) {
      std::fprintf(stderr, "worker did not announce itself\n");
      std::exit(1);
    }
    us.push_back(took);
    host.Close64BWorker();
    host.WorkerProcess()->Wait();
  }
  return Summarise(std::move(us));
}

// Two request/answer exchanges of 200 bytes per iteration between two processes.
Figures SocketFloor(int n) {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) std::exit(1);
  pid_t child = fork();
  char buf[200] = {};
  if (child == 0) {
    close(sv[0]);
    while (read(sv[1], buf, sizeof buf) == sizeof buf) {
      if (write(sv[1], buf, sizeof buf) != sizeof buf) break;
    }
    _exit(0);
  }
  close(sv[1]);
  std::vector<double> us;
  us.reserve(n);
  for (int i = 0; i < n; ++i) {
    auto t = Clock::now();
    for (int k = 0; k < 2; ++k) {
      if (write(sv[0], buf, sizeof buf) != sizeof buf || read(sv[0], buf, sizeof buf) != sizeof buf)
        std::exit(1);
    }
    us.push_back(Since(t));
  }
  close(sv[0]);
  waitpid(child, nullptr, 0);
  return Summarise(std::move(us));
}

}  // namespace

int main(int argc, char** argv) {
  const int trips = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int starts = argc > 2 ? std::atoi(argv[2]) : 50;

  vx::Tvx64BWorkerCom host;
  host.SetStatus(vx::kStatusWaitForClient);
  host.Start64BWorker();
  if (host.ClientStatus() != vx::kStatusReady) {
    std::fprintf(stderr, "worker did not announce itself\n");
    return 1;
  }
  RoundTrips(host, trips / 10);  // warm-up
  Figures link = RoundTrips(host, trips);
  Figures alive = LivenessTests(host.ClientHWND(), trips);
  host.Close64BWorker();

  Figures floor = SocketFloor(trips);
  Figures start = Starts(starts);

  std::printf("%-44s %10s %10s\n", "measure", "median us", "p99 us");
  std::printf("%-44s %10.1f %10.1f\n", "CMD_GET_STATUS round trip (host<->worker)", link.median_us,
              link.p99_us);
  std::printf("%-44s %10.1f %10.1f\n", "floor: 2 socket round trips (2 processes)", floor.median_us,
              floor.p99_us);
  std::printf("%-44s %10.2f %10.2f\n", "ratio round trip / floor", link.median_us / floor.median_us,
              link.p99_us / floor.p99_us);
  std::printf("%-44s %10.2f %10.2f\n", "WindowExists(worker window)", alive.median_us, alive.p99_us);
  std::printf("%-44s %10.1f %10.1f\n", "start worker -> CLIENTRECONNECT", start.median_us, start.p99_us);
  return 0;
}
