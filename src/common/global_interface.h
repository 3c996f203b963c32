#pragma once
// Process-wide entry points to the host application's logging and message services, with the
// fall-backs used when none is installed (as in the worker): levelled lines are dropped, the log
// level reads 0 and user messages become plain message boxes.
#include <cstdint>
#include <memory>

#include "core/ustring.h"

namespace vx {

// The host application's server helper: its log operation and its current log level.
class IServerHelper {
 public:
  virtual ~IServerHelper() = default;
  virtual void DoLog(const UString& text, std::int32_t level) = 0;
  std::int32_t FLogLevel = 0;
};

// The host application's message service.
class IMessages {
 public:
  virtual ~IMessages() = default;
  virtual void Inf_OLite(const UString& text) = 0;
  virtual void BladOk_OLite(const UString& text) = 0;
};

// Service slots, empty at start. The slots do not own the server helper; `Messages` is a
// counted reference.
inline IServerHelper* SHelp = nullptr;
inline std::shared_ptr<IMessages> Messages;

void DoLog(const UString& text, std::int32_t level);
[[nodiscard]] std::int32_t GetLoglevel();
// Debug channel: converted to the locale's code set (unmappable characters replaced), always on.
void DoDebugLog(UStringView text);
void Inf_Lite(const UString& text);
void BladOk_Lite(const UString& text);

}  // namespace vx
