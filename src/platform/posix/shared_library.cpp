#include "platform/shared_library.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/common/ascii.h"
#include "platform/install_layout.h"
#include "platform/process.h"
#include "platform/text_codec.h"

#ifndef VX_MULTIARCH
#define VX_MULTIARCH "x86_64-linux-gnu"
#endif

namespace vx::platform {

namespace {

// Symbol tables larger than this are not read (a real library has a few thousand entries).
constexpr std::size_t kMaxSymbols = 1u << 20;

// An ELF descriptor over a regular file opened read-only.
class ElfFile {
 public:
  explicit ElfFile(const std::string& path) {
    if (elf_version(EV_CURRENT) == EV_NONE) return;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return;
    size_ = static_cast<std::uint64_t>(st.st_size);
    elf_ = elf_begin(fd_, ELF_C_READ, nullptr);
    if (elf_ != nullptr && elf_kind(elf_) != ELF_K_ELF) {
      elf_end(elf_);
      elf_ = nullptr;
    }
  }
  ~ElfFile() {
    if (elf_ != nullptr) elf_end(elf_);
    if (fd_ >= 0) ::close(fd_);
  }
  ElfFile(const ElfFile&) = delete;
  ElfFile& operator=(const ElfFile&) = delete;

  [[nodiscard]] Elf* get() const { return elf_; }
  [[nodiscard]] std::uint64_t size() const { return size_; }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
  Elf* elf_ = nullptr;
};

struct Architecture {
  int elfClass = ELFCLASSNONE;
  int machine = EM_NONE;
  bool sharedObject = false;
  bool complete = false;  // every table and segment the header names lies inside the file
};

// The loader maps segments without checking them against the file's size and dies on a bus
// error when one reaches past the end, so a cut or forged file must be caught here.
bool FitsInFile(Elf* elf, const GElf_Ehdr& header, std::uint64_t size) {
  auto inside = [size](std::uint64_t offset, std::uint64_t length) {
    return offset <= size && length <= size - offset;
  };
  if (!inside(header.e_phoff, std::uint64_t{header.e_phnum} * header.e_phentsize)) return false;
  if (!inside(header.e_shoff, std::uint64_t{header.e_shnum} * header.e_shentsize)) return false;
  for (int i = 0; i < header.e_phnum; ++i) {
    GElf_Phdr ph{};
    if (gelf_getphdr(elf, i, &ph) == nullptr) return false;
    if (ph.p_type == PT_LOAD && !inside(ph.p_offset, ph.p_filesz)) return false;
  }
  return true;
}

std::optional<Architecture> ReadArchitecture(const std::string& path) {
  ElfFile file(path);
  if (file.get() == nullptr) return std::nullopt;
  GElf_Ehdr header{};
  if (gelf_getehdr(file.get(), &header) == nullptr) return std::nullopt;
  return Architecture{gelf_getclass(file.get()), header.e_machine, header.e_type == ET_DYN,
                      FitsInFile(file.get(), header, file.size())};
}

const std::optional<Architecture>& OwnArchitecture() {
  static const std::optional<Architecture> own = ReadArchitecture("/proc/self/exe");
  return own;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool IsLoadableImage(const std::string& path) {
  const auto image = ReadArchitecture(path);
  const auto& own = OwnArchitecture();
  return image && own && image->sharedObject && image->complete && image->elfClass == own->elfClass &&
         image->machine == own->machine;
}

bool ExportsAll(const std::string& path, std::span<const char* const> names) {
  ElfFile file(path);
  if (file.get() == nullptr) return false;
  std::vector<bool> found(names.size(), false);
  std::size_t missing = names.size();
  Elf_Scn* section = nullptr;
  while (missing > 0 && (section = elf_nextscn(file.get(), section)) != nullptr) {
    GElf_Shdr header{};
    if (gelf_getshdr(section, &header) == nullptr || header.sh_type != SHT_DYNSYM) continue;
    Elf_Data* data = elf_getdata(section, nullptr);
    if (data == nullptr || header.sh_entsize == 0) continue;
    const std::size_t count = std::min<std::size_t>(header.sh_size / header.sh_entsize, kMaxSymbols);
    for (std::size_t i = 0; i < count && missing > 0; ++i) {
      GElf_Sym sym{};
      if (gelf_getsym(data, static_cast<int>(i), &sym) == nullptr) break;
      const int binding = GELF_ST_BIND(sym.st_info);
      if (sym.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) continue;
      const char* name = elf_strptr(file.get(), header.sh_link, sym.st_name);
      if (name == nullptr) continue;
      for (std::size_t n = 0; n < names.size(); ++n) {
        if (!found[n] && std::string_view(name) == names[n]) {
          found[n] = true;
          --missing;
        }
      }
    }
  }
  return missing == 0;
}

std::optional<std::string> FindLibraryFile(std::string_view name) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string_view::npos) {
    const std::string path(name);
    return IsRegularFile(path) ? std::optional<std::string>(path) : std::nullopt;
  }
  const std::string file(EqualNoCase(name, "mapi32.dll") ? kSystemSimpleMapiLibrary : name);
  std::vector<std::string> dirs;
  const std::string exeDir = Utf16ToUtf8(ExecutableDir());
  dirs.push_back(exeDir);
  dirs.push_back(exeDir + "/../lib");
  if (const auto ldPath = EnvironmentVariable("LD_LIBRARY_PATH")) {
    std::size_t start = 0;
    while (start <= ldPath->size()) {
      std::size_t end = ldPath->find(':', start);
      if (end == std::string::npos) end = ldPath->size();
      if (end > start) dirs.push_back(ldPath->substr(start, end - start));
      start = end + 1;
    }
  }
  for (const std::string& prefix : InstallPrefixes())
    dirs.push_back(LibraryFolder(prefix, ConfiguredLayout()));
  for (const char* d :
       {"/usr/local/lib", "/lib/" VX_MULTIARCH, "/usr/lib/" VX_MULTIARCH, "/lib", "/usr/lib"}) {
    dirs.emplace_back(d);
  }
  for (const std::string& dir : dirs) {
    const std::string path = dir + "/" + file;
    if (IsRegularFile(path)) return path;
  }
  return std::nullopt;
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

std::optional<SharedLibrary> SharedLibrary::Open(const std::string& path, Error& error) {
  errno = 0;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const int code = errno != 0 ? errno : ENOEXEC;
    const char* message = ::dlerror();
    error = Error{code, message != nullptr ? message : "cannot load " + path};
    return std::nullopt;
  }
  SharedLibrary lib;
  lib.handle_ = handle;
  return lib;
}

void* SharedLibrary::Symbol(const char* name) const {
  return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

void SharedLibrary::Close() {
  if (handle_ != nullptr) {
    ::dlclose(handle_);
    handle_ = nullptr;
  }
}

}  // namespace vx::platform
