#pragma once
// Shared libraries: checks that read an image file without loading it (libelf), the lookup of a
// bare library name, and loading with symbol lookup.
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vx::platform {

// The file name under which the system's Simple MAPI library ("mapi32.dll") is installed: the
// project's own mail client library.
inline constexpr std::string_view kSystemSimpleMapiLibrary = "libvx64mapi.so.1";

// True when the file is an ELF shared object of this process's class and machine, so that this
// process can load it. A PE image, a text file, an image of another architecture or a missing
// file gives false, and so does a cut file whose segments reach past its end. Never loads the file.
[[nodiscard]] bool IsLoadableImage(const std::string& path);

// True when the file is an ELF image (of any architecture) whose dynamic symbol table defines
// every one of `names`. Reads the symbol table only: no code of the file runs.
[[nodiscard]] bool ExportsAll(const std::string& path, std::span<const char* const> names);

// The file a library name stands for. A name with a slash is taken as it is. A bare name is
// looked up beside the running executable, in ../lib from there, along LD_LIBRARY_PATH, in the
// library folder of the install the running code belongs to (InstallPrefixes) and in the system's
// library folders; "mapi32.dll" (any letter case)
// stands for kSystemSimpleMapiLibrary. nullopt when no such file exists.
[[nodiscard]] std::optional<std::string> FindLibraryFile(std::string_view name);

// A loaded library, unloaded with the object.
class SharedLibrary {
 public:
  SharedLibrary() = default;
  SharedLibrary(SharedLibrary&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  ~SharedLibrary() { Close(); }

  struct Error {
    int code = 0;         // the system error number the loader left, else ENOEXEC
    std::string message;  // the loader's message
  };
  // Loads the library at `path`; on failure the loader's error is stored in `error`.
  [[nodiscard]] static std::optional<SharedLibrary> Open(const std::string& path, Error& error);

  [[nodiscard]] bool IsOpen() const { return handle_ != nullptr; }
  [[nodiscard]] void* Symbol(const char* name) const;
  void Close();

 private:
  void* handle_ = nullptr;
};

}  // namespace vx::platform
