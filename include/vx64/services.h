#pragma once
// The services a host application installs for the library: a log and a message service.
// Without them log lines are dropped, the log level reads 0, and messages for the user become
// message boxes (or, without a display, debug-channel lines).
#include <cstdint>
#include <memory>
#include <string>

#include "vx64/export.h"

namespace vx64 {

class VX64_HOST_API ILogger {
 public:
  virtual ~ILogger();
  // One log line; `level` is 200 for the validator's lines and 0 for lines the worker sent back.
  virtual void DoLog(const std::u16string& text, std::int32_t level) = 0;
};

class VX64_HOST_API IMessages {
 public:
  virtual ~IMessages();
  virtual void Information(const std::u16string& text) = 0;
  virtual void Error(const std::u16string& text) = 0;
};

// Installs the log. The library does not own it: it must live until SetLogger(nullptr, 0).
// `logLevel` is the level the library reports as the host's (a worker asked to validate captures
// its validator's lines for the host when it is 200).
VX64_HOST_API void SetLogger(ILogger* logger, std::int32_t logLevel);
// Installs the message service (shared with the library); nullptr removes it.
VX64_HOST_API void SetMessages(std::shared_ptr<IMessages> messages);

// Text conversions for applications that hold UTF-8 (malformed input becomes U+FFFD).
[[nodiscard]] VX64_HOST_API std::u16string FromUtf8(const std::string& text);
[[nodiscard]] VX64_HOST_API std::string ToUtf8(const std::u16string& text);
// The same for text in the locale's code set, as command lines and the mail client library hold
// it (UTF-8 where that code set is plain ASCII): undecodable bytes become U+FFFD, characters the
// code set cannot hold '?'.
[[nodiscard]] VX64_HOST_API std::u16string FromLocale(const std::string& text);
[[nodiscard]] VX64_HOST_API std::string ToLocale(const std::u16string& text);

// True when the process's standard error is a terminal (where a front end may show progress).
[[nodiscard]] VX64_HOST_API bool StandardErrorIsTerminal();

}  // namespace vx64
