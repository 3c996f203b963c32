// vx64BWorker: started by the host with the host's window handle as its only argument.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>

#include "common/global_interface.h"
#include "link/worker_com.h"
#include "mail/mail_job.h"
#include "validation/worker_job.h"
#include "vx64/version.h"
#include "worker/lib_package.h"
#include "worker/regional_settings.h"

namespace {

constexpr const char* kUsage =
    "Użycie: vx64BWorker UCHWYT\n"
    "        vx64BWorker\n"
    "        vx64BWorker --help | --version\n"
    "\n"
    "Proces roboczy vx64: uruchamia go aplikacja hosta (np. vxhost), podając dziesiętny uchwyt\n"
    "swojego okna komunikatów; proces wykonuje jej polecenia (walidacja XML, wysyłanie poczty)\n"
    "i kończy się razem z nią. Bez argumentu jedynie odświeża katalog bibliotek 64bit\n"
    "z archiwum LIB64BIT.ZIP w bieżącym katalogu.\n"
    "\n"
    "  --help     ta pomoc\n"
    "  --version  wypisuje wersję programu\n";

}  // namespace

int main(int argc, char** argv) {
  // Options are answered before anything is prepared: they touch no file and look for no host.
  // A window handle is a positive number, so any first argument starting with '-' is an option.
  if (argc >= 2 && argv[1][0] == '-') {
    if (std::strcmp(argv[1], "--version") == 0) {
      std::fputs("vx64BWorker (vx64) " VX64_VERSION "\n", stdout);
      return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "vx64BWorker: nieznana opcja \"%s\" (vx64BWorker --help wypisuje składnię)\n",
                 argv[1]);
    return 2;
  }
  std::setlocale(LC_ALL, "");
  try {
    vx::CheckSeparatory();
    vx::Prepare64bitLib();
    vx::RegisterValidationJob();
    vx::mail::RegisterMailJob();
    vx::Tvx64BWorkerCom::WaitForHost();  // returns at once without an argument
    return 0;
  } catch (const std::exception& e) {
    vx::BladOk_Lite(vx::Utf8ToU(e.what()));
    return 1;
  }
}
