// vxhost run out of descriptors: no window can be created, and no command may end by an
// uncaught error (an abort with a core dump); those that need the link say so and exit 2.
#include <signal.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/child.h"
#include "support/temp_dir.h"

namespace vx {
namespace {

using namespace std::chrono_literals;

struct Outcome {
  int code = -1;
  std::string err;
};

// Runs vxhost with the arguments (already quoted for the shell) and no descriptor to spare.
Outcome VxhostWithoutDescriptors(const test::TempDir& dir, const std::string& args) {
  const std::string err = (dir / "stderr").string();
  test::Child sh("/bin/sh", {"-c", "exec 2>'" + err +
                                       "' </dev/null; LD_PRELOAD='" VX_NOFILE_PRELOAD
                                       "' ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 "
                                       "VX64_DEBUG_LOG=none exec '" +
                                       test::BinPath("vxhost") + "' " + args});
  Outcome run;
  run.code = sh.WaitExit(60s).value_or(-1);
  run.err = test::ReadFile(err);
  return run;
}

TEST(VxhostWithoutDescriptors, EveryCommandEndsInAnOrderlyWay) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer runtime probes memory through a pipe; without descriptors it reports every
  // virtual call as a bad object. The plain build runs this test.
  GTEST_SKIP() << "needs descriptors of its own under the sanitizers";
#endif
  test::TempDir dir;
  const std::string xml = (dir / "a.xml").string();
  test::WriteFile(xml, "<a/>");
  constexpr char kNoWindow[] = "Błąd tworzenia okna komunikacji!";
  const struct {
    std::string args;
    bool needsLink;
  } commands[] = {
      {"status", true},
      {"validate --worker '" + xml + "'", true},
      {"validate --worker -v --log-level 200 '" + xml + "'", true},
      {"validate '" + xml + "'", false},
      {"validate --in-process '" + xml + "'", false},
      {"json", false},
      {"json --indent '" + xml + "'", false},
      {"--help", false},
      {"", false},
      {"nosuch", false},
  };
  for (const auto& c : commands) {
    const Outcome run = VxhostWithoutDescriptors(dir, c.args);
    EXPECT_NE(run.code, 128 + SIGABRT) << c.args << "\n" << run.err;
    EXPECT_GE(run.code, 0) << c.args << "\n" << run.err;
    EXPECT_LE(run.code, 3) << c.args << "\n" << run.err;
    EXPECT_EQ(run.err.find("terminate called"), std::string::npos) << c.args << "\n" << run.err;
    if (c.needsLink) {
      EXPECT_EQ(run.code, 2) << c.args;
      EXPECT_NE(run.err.find(kNoWindow), std::string::npos) << c.args << "\n" << run.err;
    }
  }
}

}  // namespace
}  // namespace vx
