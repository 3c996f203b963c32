#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "platform/text_codec.h"
#include "support/temp_dir.h"

namespace vx::platform {
namespace {

namespace fs = std::filesystem;

void WriteScript(const fs::path& p, const std::string& body) {
  test::WriteFile(p, "#!/bin/sh\n" + body);
  fs::permissions(p, fs::perms::owner_all);
}

class ChangeDir {
 public:
  explicit ChangeDir(const fs::path& to) : saved_(fs::current_path()) { fs::current_path(to); }
  ~ChangeDir() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

std::u16string U(const fs::path& p) {
  return Utf8ToUtf16(p.string());
}

TEST(FindProgram, IgnoresCaseAndExeSuffixAndNeedsAnExecutable) {
  test::TempDir dir;
  WriteScript(dir / "VxProbe", "exit 0\n");
  test::WriteFile(dir / "plain", "not executable");
  ChangeDir cd(dir.path());

  auto found = FindProgram(u"vxprobe.EXE");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->filename(), "VxProbe");
  EXPECT_TRUE(found->is_absolute());
  EXPECT_TRUE(FindProgram(u"VXPROBE"));
  EXPECT_FALSE(FindProgram(u"plain"));
  EXPECT_FALSE(FindProgram(u"missing.exe"));

  // A name with a directory part is looked for in that directory only.
  EXPECT_TRUE(FindProgram(U(dir / "vxprobe.exe")));
  EXPECT_FALSE(FindProgram(u"sub/vxprobe"));
}

TEST(FindProgram, CurrentDirectoryComesBeforeExecutableDirectory) {
  test::TempDir dir;
  const std::string name = "vx_find_probe_" + std::to_string(getpid());
  const fs::path besideExe = fs::path(Utf16ToUtf8(ExecutableDir())) / name;
  WriteScript(besideExe, "exit 0\n");
  struct Remove {
    fs::path p;
    ~Remove() { fs::remove(p); }
  } cleanup{besideExe};
  ChangeDir cd(dir.path());

  auto found = FindProgram(Utf8ToUtf16(name + ".Exe"));
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, besideExe);

  WriteScript(dir / name, "exit 0\n");
  found = FindProgram(Utf8ToUtf16(name));
  ASSERT_TRUE(found);
  EXPECT_EQ(fs::canonical(*found), fs::canonical(dir / name));
}

TEST(LaunchProgram, SplitsParametersLikeAWindowsCommandLine) {
  test::TempDir dir;
  WriteScript(dir / "args", "out=$1; shift; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$out\"\n");
  std::u16string params = u"\"";
  params.append(U(dir / "out.txt")).append(u"\" a  \"b c\" \"d\"\"e\" \"\" f\tg ł");
  auto p = LaunchProgram(U(dir / "args"), params);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Wait(), ExitStatus{0});
  EXPECT_EQ(test::ReadFile(dir / "out.txt"), "[a]\n[b c]\n[d\"e]\n[]\n[f]\n[g]\n[ł]\n");
}

TEST(LaunchProgram, ReportsExitCodesSignalsAndMissingPrograms) {
  test::TempDir dir;
  WriteScript(dir / "three", "exit 3\n");
  WriteScript(dir / "killed", "kill -9 $$\n");
  auto three = LaunchProgram(U(dir / "three"), u"");
  ASSERT_TRUE(three);
  EXPECT_EQ(three->Wait(), ExitStatus{3});
  EXPECT_EQ(three->TryWait(), ExitStatus{3});
  EXPECT_FALSE(three->Running());

  auto killed = LaunchProgram(U(dir / "killed"), u"");
  ASSERT_TRUE(killed);
  EXPECT_EQ(killed->Wait(), (ExitStatus{128 + SIGKILL, true}));

  EXPECT_FALSE(LaunchProgram(U(dir / "nothing-here"), u""));
  // A file that cannot be executed is refused, not reported as started.
  test::WriteFile(dir / "noshebang",
                  "\x7f"
                  "ELF garbage");
  fs::permissions(dir / "noshebang", fs::perms::owner_all);
  EXPECT_FALSE(LaunchProgram(U(dir / "noshebang"), u""));
}

TEST(LaunchProgram, ChildGetsOnlyTheStandardStreams) {
  test::TempDir dir;
  int fd = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(fd, 0);
  ASSERT_EQ(dup2(fd, 57), 57);
  close(fd);
  WriteScript(dir / "fds", "if [ -e /proc/$$/fd/57 ]; then echo leaked; else echo clean; fi > \"$1\"\n");
  auto p = LaunchProgram(U(dir / "fds"), U(dir / "out"));
  close(57);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Wait(), ExitStatus{0});
  EXPECT_EQ(test::ReadFile(dir / "out"), "clean\n");
}

TEST(Process, UnwaitedChildrenAreReaped) {
  test::TempDir dir;
  WriteScript(dir / "quick", "exit 0\n");
  pid_t pid = 0;
  {
    auto p = LaunchProgram(U(dir / "quick"), u"");
    ASSERT_TRUE(p);
    pid = static_cast<pid_t>(p->Id());
  }  // dropped while (most likely) still running
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto next = LaunchProgram(U(dir / "quick"), u"");
  ASSERT_TRUE(next);
  // A zombie would still accept signal 0.
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
  EXPECT_EQ(next->Wait(), ExitStatus{0});

  Process moved = std::move(*next);
  EXPECT_EQ(moved.TryWait(), ExitStatus{0});
}

TEST(ProcessIdentity, ExecutablePathAndArguments) {
  EXPECT_EQ(fs::path(Utf16ToUtf8(ExecutablePath())).filename(), "vx_platform_tests");
  EXPECT_EQ(fs::path(Utf16ToUtf8(ExecutablePath())).parent_path(), fs::path(Utf16ToUtf8(ExecutableDir())));
  // The tests run on a 64-bit kernel, so only the 32-bit build sees the 32-on-64 case.
  EXPECT_EQ(Is32BitProcessOn64BitSystem(), sizeof(void*) == 4);
}

}  // namespace
}  // namespace vx::platform
