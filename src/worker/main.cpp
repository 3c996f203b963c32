// vx64BWorker: started by the host with the host's window handle as its only argument.
#include <clocale>
#include <exception>

#include "common/global_interface.h"
#include "link/worker_com.h"
#include "validation/worker_job.h"
#include "worker/lib_package.h"
#include "worker/regional_settings.h"

int main() {
  std::setlocale(LC_ALL, "");
  try {
    vx::CheckSeparatory();
    vx::Prepare64bitLib();
    vx::RegisterValidationJob();
    vx::Tvx64BWorkerCom::WaitForHost();  // returns at once without an argument
    return 0;
  } catch (const std::exception& e) {
    vx::BladOk_Lite(vx::Utf8ToU(e.what()));
    return 1;
  }
}
