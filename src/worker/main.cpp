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

int main(int argc, char** argv) {
  // The version only: nothing is prepared and no host is looked for.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs("vx64BWorker (vx64) " VX64_VERSION "\n", stdout);
    return 0;
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
