// A stand-in peer for the process tests.
//   vx_test_peer host                  starts the worker, prints "WORKER <pid>", then serves messages
//   vx_test_peer respond HWND          announces itself to HWND and answers commands until killed
//   vx_test_peer answer TEXT LOG HWND  a worker whose validation answer is TEXT with CMD_TO_LOG=LOG
//   vx_test_peer stall FILE HWND       a worker that writes its process id to FILE when a validation
//                                      request arrives and then never answers
//   vx_test_peer dialog HWND           a worker whose validation request asks a yes/no question
//                                      and answers with TAK or NIE
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "common/dialogs.h"
#include "link/worker_com.h"

namespace {

// Serves like the worker's loop: until the host's window goes or the host says close.
int ServeAsWorker(const char* host, vx::TJobBranch job) {
  vx::RegisterJobBranch(std::move(job));
  vx::Tvx64BWorkerCom::ServeHost(std::atoll(host));
  return 0;
}

// Undoes the shell-style escapes a test may put in an argument: \t, \r, \n.
vx::UString Unescape(const char* text) {
  vx::UString s = vx::Utf8ToU(text);
  vx::UString out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\\' && i + 1 < s.size()) {
      char16_t c = s[i + 1];
      if (c == u't' || c == u'r' || c == u'n') {
        out.push_back(c == u't' ? u'\t' : c == u'r' ? u'\r' : u'\n');
        ++i;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "answer") == 0) {
    const vx::UString text = Unescape(argv[2]);
    const vx::UString log = Unescape(argv[3]);
    return ServeAsWorker(
        argv[4], {u"CMD_RUN_XML_VALIDATION",
                  u"",
                  [text, log](vx::Tvx64BWorkerCom& com, const vx::TStringList&, vx::TStringList& answer) {
                    answer.SetValue(u"CMD_GET_XML_VALIDATION_RESULT", text);
                    answer.SetValue(u"CMD_TO_LOG", log);
                    com.SetStatus(vx::kStatusReady);
                    com.SendCommand(u"CMD_GET_XML_VALIDATION_RESULT", &answer);
                    return true;
                  },
                  {},
                  {}});
  }
  if (argc == 4 && std::strcmp(argv[1], "stall") == 0) {
    const std::string marker = argv[2];
    return ServeAsWorker(argv[3], {u"CMD_RUN_XML_VALIDATION",
                                   u"",
                                   [marker](vx::Tvx64BWorkerCom&, const vx::TStringList&, vx::TStringList&) {
                                     // Written whole, then renamed: a reader never sees an empty file.
                                     std::ofstream(marker + ".tmp") << getpid() << std::endl;
                                     std::rename((marker + ".tmp").c_str(), marker.c_str());
                                     for (;;) pause();
                                     return true;
                                   },
                                   {},
                                   {}});
  }
  if (argc == 3 && std::strcmp(argv[1], "dialog") == 0) {
    return ServeAsWorker(argv[2],
                         {u"CMD_RUN_XML_VALIDATION",
                          u"",
                          [](vx::Tvx64BWorkerCom& com, const vx::TStringList&, vx::TStringList& answer) {
                            const bool yes = vx::AskYesNo(u"Kontynuować?");
                            answer.SetValue(u"CMD_GET_XML_VALIDATION_RESULT", yes ? u"TAK" : u"NIE");
                            com.SetStatus(vx::kStatusReady);
                            com.SendCommand(u"CMD_GET_XML_VALIDATION_RESULT", &answer);
                            return true;
                          },
                          {},
                          {}});
  }
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
  std::printf("WORKER %d\n", static_cast<int>(com.WorkerProcess()->Id()));
  std::fflush(stdout);
  while (vx::Tvx64BWorkerCom::GetAndProcessMsg()) {
  }
  return 0;
}
