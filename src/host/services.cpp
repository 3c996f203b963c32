// The application's services, plugged into the library's service slots.
#include "vx64/services.h"

#include "common/global_interface.h"
#include "platform/process.h"

namespace vx64 {

ILogger::~ILogger() = default;
IMessages::~IMessages() = default;

namespace {

// The slot holds the library's own helper; it forwards to the application's logger.
class LoggerSlot : public vx::IServerHelper {
 public:
  void DoLog(const vx::UString& text, std::int32_t level) override {
    if (FLogger) FLogger->DoLog(text, level);
  }
  ILogger* FLogger = nullptr;
};

LoggerSlot& Slot() {
  static LoggerSlot slot;
  return slot;
}

class MessagesSlot : public vx::IMessages {
 public:
  explicit MessagesSlot(std::shared_ptr<vx64::IMessages> messages) : FMessages(std::move(messages)) {}
  void Inf_OLite(const vx::UString& text) override { FMessages->Information(text); }
  void BladOk_OLite(const vx::UString& text) override { FMessages->Error(text); }

 private:
  std::shared_ptr<vx64::IMessages> FMessages;
};

}  // namespace

void SetLogger(ILogger* logger, std::int32_t logLevel) {
  LoggerSlot& slot = Slot();
  slot.FLogger = logger;
  slot.FLogLevel = logger ? logLevel : 0;
  vx::SHelp = logger ? &slot : nullptr;
}

void SetMessages(std::shared_ptr<IMessages> messages) {
  if (messages) {
    vx::Messages = std::make_shared<MessagesSlot>(std::move(messages));
  } else {
    vx::Messages.reset();
  }
}

std::u16string FromUtf8(const std::string& text) {
  return vx::Utf8ToU(text);
}

std::string ToUtf8(const std::u16string& text) {
  return vx::UToUtf8(text);
}

std::u16string FromLocale(const std::string& text) {
  return vx::AnsiToU(text);
}

std::string ToLocale(const std::u16string& text) {
  return vx::UToAnsi(text);
}

bool StandardErrorIsTerminal() {
  return vx::platform::StandardErrorIsTerminal();
}

}  // namespace vx64
