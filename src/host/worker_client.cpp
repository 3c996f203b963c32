// The host library's worker client: a thin owner of the link's command endpoint.
#include "vx64/worker_client.h"

#include "link/worker_com.h"
#include "validation/worker_job.h"

namespace vx64 {

std::u16string WorkerProgram() {
  return vx::WorkerProgram();
}

bool WorkerPresent() {
  return vx::WorkerPresent();
}

struct WorkerClient::Impl {
  vx::TValidationWorkerCom com;
};

WorkerClient::WorkerClient() : FImpl(std::make_unique<Impl>()) {}

WorkerClient::~WorkerClient() = default;

bool WorkerClient::Start64BWorker() {
  vx::Tvx64BWorkerCom& com = FImpl->com;
  com.SetStatus(vx::kStatusWaitForClient);
  com.Start64BWorker();
  return com.ClientStarted() && com.WaitForClient();
}

std::u16string WorkerClient::AskStatus() {
  vx::Tvx64BWorkerCom& com = FImpl->com;
  // Only a status that arrives as the answer counts.
  com.SetClientStatus(u"");
  vx::TStringList none;
  if (!com.SendCommand(u"CMD_GET_STATUS", &none)) return {};
  return com.ClientStatus();
}

void WorkerClient::Close64BWorker() {
  FImpl->com.Close64BWorker();
}

std::u16string WorkerClient::SendXMLValidateFile(const std::u16string& aXMLFile, const std::u16string& aDsc,
                                                 const std::u16string& aXSD,
                                                 const std::u16string& aLogLevel) {
  return vx::SendXMLValidateFile(FImpl->com, aXMLFile, aDsc, aXSD, aLogLevel);
}

std::u16string WorkerClient::Status() const {
  return FImpl->com.Status();
}

std::u16string WorkerClient::ClientStatus() const {
  return FImpl->com.ClientStatus();
}

bool WorkerClient::ClientStarted() const {
  return FImpl->com.ClientStarted();
}

void WorkerClient::SetClientWaitTimeout(int milliseconds) {
  FImpl->com.SetClientWaitTimeout(milliseconds);
}

}  // namespace vx64
