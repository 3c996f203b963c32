#include "platform/install_layout.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text_codec.h"

namespace vx::platform {
namespace {

namespace fs = std::filesystem;

const InstallLayout kLocal{"/usr/local", "bin", "lib", "libexec", "etc"};
const InstallLayout kMultiarch{"/usr", "bin", "lib/x86_64-linux-gnu", "libexec", "etc"};

TEST(InstallLayout, ThePrefixIsFoundFromAnyOfItsFolders) {
  // Wherever the tree was installed, by the package, --prefix or a copied DESTDIR tree.
  EXPECT_EQ(PrefixOfFolder("/opt/x/bin", kLocal), "/opt/x");
  EXPECT_EQ(PrefixOfFolder("/opt/x/lib", kLocal), "/opt/x");
  EXPECT_EQ(PrefixOfFolder("/opt/x/libexec/vx64", kLocal), "/opt/x");
  EXPECT_EQ(PrefixOfFolder("/usr/lib/x86_64-linux-gnu", kMultiarch), "/usr");
  EXPECT_EQ(PrefixOfFolder("/usr/libexec/vx64/", kMultiarch), "/usr");
  EXPECT_EQ(PrefixOfFolder("/bin", kLocal), "/");

  // Only whole folder names count, and only the install's own folders.
  EXPECT_EQ(PrefixOfFolder("/opt/xbin", kLocal), std::nullopt);
  EXPECT_EQ(PrefixOfFolder("/opt/x/libexec", kLocal), std::nullopt);
  EXPECT_EQ(PrefixOfFolder("/usr/lib", kMultiarch), std::nullopt);
  EXPECT_EQ(PrefixOfFolder("/home/jan/build", kLocal), std::nullopt);
  EXPECT_EQ(PrefixOfFolder("bin", kLocal), std::nullopt);
  EXPECT_EQ(PrefixOfFolder("", kLocal), std::nullopt);

  // A folder configured as an absolute path stands for the configured prefix.
  const InstallLayout absolute{"/opt/conf", "/srv/tools", "lib", "libexec", "etc"};
  EXPECT_EQ(PrefixOfFolder("/srv/tools", absolute), "/opt/conf");
  EXPECT_EQ(PrefixOfFolder("/elsewhere/srv/tools", absolute), std::nullopt);
}

TEST(InstallLayout, FoldersOfAnInstall) {
  EXPECT_EQ(ProgramFolder("/opt/x", kLocal), "/opt/x/libexec/vx64");
  EXPECT_EQ(ProgramFolder("/", kLocal), "/libexec/vx64");
  EXPECT_EQ(LibraryFolder("/usr", kMultiarch), "/usr/lib/x86_64-linux-gnu");
  EXPECT_EQ(LibraryFolder("/opt/x/", kLocal), "/opt/x/lib");

  // The machine configuration lies under the prefix, except for the system's own prefixes.
  EXPECT_EQ(MachineConfigFolder("/opt/x", kLocal), "/opt/x/etc/vx64");
  EXPECT_EQ(MachineConfigFolder("/usr/local", kLocal), "/usr/local/etc/vx64");
  EXPECT_EQ(MachineConfigFolder("/usr", kMultiarch), "/etc/vx64");
  EXPECT_EQ(MachineConfigFolder("/usr/", kLocal), "/etc/vx64");
  EXPECT_EQ(MachineConfigFolder("/", kLocal), "/etc/vx64");
  const InstallLayout fixedEtc{"/usr/local", "bin", "lib", "libexec", "/srv/etc"};
  EXPECT_EQ(MachineConfigFolder("/usr", fixedEtc), "/srv/etc/vx64");

  EXPECT_TRUE(IsProgramFolder("/opt/x/libexec/vx64", kLocal));
  EXPECT_TRUE(IsProgramFolder("/usr/libexec/vx64", kMultiarch));
  EXPECT_FALSE(IsProgramFolder("/opt/x/bin", kLocal));
  EXPECT_FALSE(IsProgramFolder("/home/jan/vx64/build/bin", kLocal));
}

// The tests run from the build tree's bin/, which stands for an install at the build folder: the
// build tree reads nothing of an install elsewhere on the machine.
TEST(InstallLayout, TheRunningCodeFindsItsOwnTree) {
  const fs::path bin = Utf16ToUtf8(RunningCodeFolder());
  ASSERT_EQ(bin, fs::path(Utf16ToUtf8(ExecutableDir())));
  ASSERT_EQ(bin.filename(), "bin");
  const std::string build = bin.parent_path().string();
  EXPECT_EQ(InstallPrefixes(), std::vector<std::string>{build});

  const char* saved = std::getenv("VX64_REGISTRY_HKLM");
  const std::string keep = saved != nullptr ? saved : "";
  unsetenv("VX64_REGISTRY_HKLM");
  EXPECT_EQ(RegistryHive::FilePath(RegRoot::LocalMachine), build + "/etc/vx64/registry.reg");
  if (saved != nullptr) setenv("VX64_REGISTRY_HKLM", keep.c_str(), 1);
}

}  // namespace
}  // namespace vx::platform
