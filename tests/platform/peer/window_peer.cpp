// A process with message windows for the window tests.
//   vx_window_peer serve          creates a window, prints its handle and serves until killed
//   vx_window_peer jobs HOST N    N times: creates a window, announces it to HOST (kMsgUser+1,
//                                 wParam = the handle), handles one kMsgCopyData, destroys it
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/window.h"

namespace {

using namespace vx::platform;

bool g_handled = false;

std::intptr_t PeerProc(WindowHandle h, std::uint32_t msg, std::uintptr_t w, std::intptr_t l) {
  if (msg == kMsgCopyData) {
    g_handled = true;
    return 5;
  }
  return DefaultWindowProcedure(h, msg, w, l);
}

}  // namespace

int main(int argc, char** argv) {
  RegisterWindowClass(u"PeerWindow", &PeerProc);
  if (argc == 2 && std::strcmp(argv[1], "serve") == 0) {
    WindowHandle h = CreateMessageWindow(u"PeerWindow");
    std::printf("%lld\n", static_cast<long long>(h));
    std::fflush(stdout);
    if (h == 0) return 1;
    for (;;) WaitMessageTimeout(1000);
  }
  if (argc == 4 && std::strcmp(argv[1], "jobs") == 0) {
    const WindowHandle host = std::atoll(argv[2]);
    const int jobs = std::atoi(argv[3]);
    for (int i = 0; i < jobs; ++i) {
      WindowHandle h = CreateMessageWindow(u"PeerWindow");
      if (h == 0 || !TrySendWindowMessage(host, kMsgUser + 1, static_cast<std::uintptr_t>(h), 0)) return 1;
      g_handled = false;
      while (!g_handled) {
        if (!WindowExists(host)) return 2;
        WaitMessageTimeout(100);
      }
      DestroyMessageWindow(h);
    }
    return 0;
  }
  std::fprintf(stderr, "usage: vx_window_peer serve | jobs HOST N\n");
  return 2;
}
