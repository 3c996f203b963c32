#pragma once
// What the user's desktop session offers a process: its main window, the temporary folder and
// a file written there for the user alone.
#include <optional>
#include <string>
#include <string_view>

#include "platform/window.h"

namespace vx::platform {

// The process's visible main application window. Processes here have no window a user sees, so
// this is 0.
[[nodiscard]] WindowHandle ProcessMainWindow();

// The user's temporary folder: $TMPDIR when set, else /tmp (no trailing slash).
[[nodiscard]] std::string UserTempFolder();

// Creates or overwrites the file with `bytes`, readable by the user only. A link or a file of
// another user at that path is not followed or overwritten (the folder may be shared). Returns
// an error text, empty on success.
[[nodiscard]] std::string WriteUserFile(const std::string& path, std::string_view bytes);

// What a configuration file's checks need to know of it.
struct FileStatus {
  bool regular = false;
  unsigned mode = 0;  // permission bits
  bool ownedByUser = false;
  long long size = 0;
};
// nullopt when the path does not exist (links are followed).
[[nodiscard]] std::optional<FileStatus> StatFile(const std::string& path);
// The whole file when it is at most `maxBytes` long; nullopt otherwise or when unreadable.
[[nodiscard]] std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes);

}  // namespace vx::platform
