#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/child_process.h"
#include "platform/dialogs.h"
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

  auto found = FindProgram(U(dir / "vxprobe.EXE"));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->filename(), "VxProbe");
  EXPECT_TRUE(found->is_absolute());
  EXPECT_TRUE(FindProgram(U(dir / "VXPROBE")));
  EXPECT_FALSE(FindProgram(U(dir / "plain")));
  EXPECT_FALSE(FindProgram(U(dir / "missing.exe")));

  // A relative directory part is taken from the current directory, and only that directory.
  ChangeDir cd(dir.path());
  EXPECT_TRUE(FindProgram(u"./vxprobe.exe"));
  EXPECT_FALSE(FindProgram(u"sub/vxprobe"));
}

// A bare name is the program's own: looked up beside the executable (and in the install's program
// folder), never where the user happens to stand, so a program planted there cannot run.
TEST(FindProgram, NeverLooksInTheCurrentDirectory) {
  test::TempDir dir;
  const std::string name = "vx_find_probe_" + std::to_string(getpid());
  WriteScript(dir / name, "exit 0\n");
  WriteScript(dir / (name + ".EXE"), "exit 0\n");
  ChangeDir cd(dir.path());
  EXPECT_FALSE(FindProgram(Utf8ToUtf16(name)));
  EXPECT_FALSE(FindProgram(Utf8ToUtf16(name + ".exe")));
  EXPECT_FALSE(LaunchProgram(Utf8ToUtf16(name), u""));

  const fs::path besideExe = fs::path(Utf16ToUtf8(ExecutableDir())) / name;
  WriteScript(besideExe, "exit 0\n");
  struct Remove {
    fs::path p;
    ~Remove() { fs::remove(p); }
  } cleanup{besideExe};
  auto found = FindProgram(Utf8ToUtf16(name + ".Exe"));
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, besideExe);
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

// What a child reports of its start: the blocked and the ignored signals, and whether the
// descriptor 57 this process holds open reached it.
constexpr const char* kReportStart =
    "if [ -e /proc/self/fd/57 ]; then echo leaked; else echo clean; fi > \"$1\"\n"
    "exec grep -E '^Sig(Blk|Ign):' /proc/self/status >> \"$1\"\n";

// The start a child reported, without the two real-time signals the C library reserves for
// itself (32 and 33), which its spawn leaves ignored.
std::string ReportedStart(const fs::path& report) {
  std::istringstream in(test::ReadFile(report));
  std::string out;
  for (std::string line; std::getline(in, line);) {
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos) {
      const std::uint64_t reserved = (std::uint64_t{1} << 31) | (std::uint64_t{1} << 32);
      const std::uint64_t mask = std::stoull(line.substr(tab + 1), nullptr, 16) & ~reserved;
      line = line.substr(0, tab + 1) + std::to_string(mask);
    }
    out += line + "\n";
  }
  return out;
}

// Blocks and ignores signals and leaves a descriptor open without close-on-exec, as a host
// application might, for as long as it lives.
class UntidyParent {
 public:
  UntidyParent() {
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &block, &savedMask_);
    savedInt_ = signal(SIGINT, SIG_IGN);
    savedPipe_ = signal(SIGPIPE, SIG_IGN);
    const int fd = open("/dev/null", O_RDONLY);
    dup2(fd, 57);
    close(fd);
  }
  ~UntidyParent() {
    close(57);
    signal(SIGPIPE, savedPipe_);
    signal(SIGINT, savedInt_);
    pthread_sigmask(SIG_SETMASK, &savedMask_, nullptr);
  }
  UntidyParent(const UntidyParent&) = delete;
  UntidyParent& operator=(const UntidyParent&) = delete;

 private:
  sigset_t savedMask_{};
  sighandler_t savedInt_ = SIG_DFL;
  sighandler_t savedPipe_ = SIG_DFL;
};

TEST(ChildStart, EveryWayOfStartingAProgramGivesItTheSameCleanStart) {
  test::TempDir dir;
  WriteScript(dir / "report", kReportStart);
  // The dialog service finds its program along PATH and passes the text as an argument.
  WriteScript(dir / "zenity", std::string("exec \"") + (dir / "report").string() + "\" \"" +
                                  (dir / "by-dialog").string() + "\"\n");
  const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin";
  const UntidyParent parent;

  auto launched = LaunchProgram(U(dir / "report"), U(dir / "by-launch"));
  ASSERT_TRUE(launched);
  EXPECT_EQ(launched->Wait(), ExitStatus{0});

  std::string error;
  auto piped = PipedChild::Start({(dir / "report").string(), (dir / "by-pipe").string()},
                                 {.pipeInput = true, .captureOutput = true}, error);
  ASSERT_TRUE(piped) << error;
  EXPECT_EQ(piped->Wait(std::chrono::seconds(30)), ExitStatus{0});

  setenv("PATH", (dir.path().string() + ":" + path).c_str(), 1);
  setenv("VX64_DIALOGS", "zenity", 1);
  auto previous = SetDialogs(nullptr);
  (void)Dialogs().ShowMessage(u"Informacja", u"x", {u"OK"});
  SetDialogs(std::move(previous));
  unsetenv("VX64_DIALOGS");
  setenv("PATH", path.c_str(), 1);

  for (const char* route : {"by-launch", "by-pipe", "by-dialog"})
    EXPECT_EQ(ReportedStart(dir / route), "clean\nSigBlk:\t0\nSigIgn:\t0\n") << route;
}

// Whether a process has ended: gone, or a zombie its new parent has not reaped yet.
bool Ended(pid_t pid) {
  const std::string stat = test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  return stat.empty() || (close != std::string::npos && stat.compare(close + 1, 2, " Z") == 0);
}

TEST(ChildStart, AChildOfItsOwnGroupThatRunsOverTimeIsEndedWithWhatItStarted) {
  std::string error;
  auto child = PipedChild::Start({"/bin/sh", "-c", "sleep 600 >/dev/null & echo $!; exec >&-; wait"},
                                 {.captureOutput = true, .ownProcessGroup = true}, error);
  ASSERT_TRUE(child) << error;
  const std::string line = child->ReadOutput(32, std::chrono::seconds(30));
  const pid_t grandchild = static_cast<pid_t>(std::atoi(line.c_str()));
  ASSERT_GT(grandchild, 0) << line;
  EXPECT_FALSE(Ended(grandchild));
  EXPECT_EQ(child->Wait(std::chrono::milliseconds(200)), std::nullopt);  // over time: ended
  // The grandchild was sent the same end; only its reaping by its new parent is waited for.
  const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!Ended(grandchild) && std::chrono::steady_clock::now() < guard)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(Ended(grandchild));
  kill(grandchild, SIGKILL);  // should it have been missed
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
