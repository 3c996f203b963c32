#include "tools/host_services.h"

#include <memory>

#include "common/global_interface.h"

namespace vx::tools {

namespace {

class StderrLog : public IServerHelper {
 public:
  StderrLog(std::int32_t level, bool verbose, std::ostream& err) : FVerbose(verbose), FErr(err) {
    FLogLevel = level;
  }
  void DoLog(const UString& text, std::int32_t level) override {
    if (FVerbose && level <= FLogLevel) FErr << UToUtf8(text) << '\n' << std::flush;
  }

 private:
  bool FVerbose;
  std::ostream& FErr;
};

class StderrMessages : public IMessages {
 public:
  explicit StderrMessages(std::ostream& err) : FErr(err) {}
  void Inf_OLite(const UString& text) override { FErr << UToUtf8(text) << '\n'; }
  void BladOk_OLite(const UString& text) override { FErr << "Błąd: " << UToUtf8(text) << '\n'; }

 private:
  std::ostream& FErr;
};

std::unique_ptr<StderrLog> gLog;  // the slot does not own the helper; this object does

}  // namespace

THostServices::THostServices(std::int32_t logLevel, bool verbose, std::ostream& err) {
  gLog = std::make_unique<StderrLog>(logLevel, verbose, err);
  SHelp = gLog.get();
  Messages = std::make_shared<StderrMessages>(err);
}

THostServices::~THostServices() {
  SHelp = nullptr;
  Messages.reset();
  gLog.reset();
}

}  // namespace vx::tools
