#include "stderr_services.h"

#include <memory>

#include "vx64/services.h"

namespace vx::tools {

class TStderrServices::TLog : public vx64::ILogger {
 public:
  TLog(std::int32_t level, bool verbose, std::ostream& err) : FLevel(level), FVerbose(verbose), FErr(err) {}
  void DoLog(const std::u16string& text, std::int32_t level) override {
    if (FVerbose && level <= FLevel) FErr << vx64::ToUtf8(text) << '\n' << std::flush;
  }

 private:
  std::int32_t FLevel;
  bool FVerbose;
  std::ostream& FErr;
};

namespace {

class TStderrMessages : public vx64::IMessages {
 public:
  explicit TStderrMessages(std::ostream& err) : FErr(err) {}
  void Information(const std::u16string& text) override { FErr << vx64::ToUtf8(text) << '\n'; }
  void Error(const std::u16string& text) override { FErr << "Błąd: " << vx64::ToUtf8(text) << '\n'; }

 private:
  std::ostream& FErr;
};

}  // namespace

TStderrServices::TStderrServices(std::int32_t logLevel, bool verbose, std::ostream& err)
    : FLog(std::make_unique<TLog>(logLevel, verbose, err)) {
  vx64::SetLogger(FLog.get(), logLevel);
  vx64::SetMessages(std::make_shared<TStderrMessages>(err));
}

TStderrServices::~TStderrServices() {
  vx64::SetLogger(nullptr, 0);
  vx64::SetMessages(nullptr);
}

}  // namespace vx::tools
