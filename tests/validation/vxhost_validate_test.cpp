// `vxhost validate` as a user runs it: output and exit codes, in-process and through the worker.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/child.h"
#include "validation/validation_fixture.h"

namespace vx {
namespace {

using namespace std::chrono_literals;

struct Outcome {
  std::vector<std::string> out;
  std::optional<int> code;
};

Outcome RunProgram(const std::string& program, const std::vector<std::string>& args) {
  test::Child child(program, args);
  Outcome r;
  while (auto line = child.ReadLine(20s)) r.out.push_back(*line);
  r.code = child.WaitExit(20s);
  return r;
}

Outcome Vxhost(const std::vector<std::string>& args) {
  return RunProgram(test::BinPath("vxhost"), args);
}

class VxhostValidateTest : public test::ValidationTest {
 protected:
  VxhostValidateTest() : FDialogs("VX64_DIALOGS", "none") {}
  std::string File(const std::string& name, const std::string& content) {
    test::WriteFile(dir.path() / name, content);
    return (dir.path() / name).string();
  }
  test::ScopedEnv FDialogs;
};

TEST_F(VxhostValidateTest, OutputAndExitCodes) {
  const std::string good = File("good.xml", "<root/>");
  const std::string bad = File("bad.xml", "<root><a></root>");
  for (const char* mode : {"--in-process", "--worker"}) {
    Outcome ok = Vxhost({"validate", mode, good});
    EXPECT_EQ(ok.out, std::vector<std::string>{"OK"}) << mode;
    EXPECT_EQ(ok.code, 0) << mode;
    Outcome invalid = Vxhost({"validate", mode, bad});
    ASSERT_EQ(invalid.out.size(), 1u) << mode;
    EXPECT_THAT(invalid.out[0], ::testing::HasSubstr("mismatch"));
    EXPECT_EQ(invalid.code, 1) << mode;
  }
  Outcome missing = Vxhost({"validate", (dir.path() / "none.xml").string()});
  EXPECT_EQ(missing.out, std::vector<std::string>{"Brak pliku do walidacji o nazwie: " +
                                                  (dir.path() / "none.xml").string()});
  EXPECT_EQ(missing.code, 3);
  EXPECT_EQ(Vxhost({"validate"}).code, 2);
  EXPECT_EQ(Vxhost({"validate", "--bogus", good}).code, 2);
  EXPECT_EQ(Vxhost({"validate", "--log-level", "x", good}).code, 2);
}

TEST_F(VxhostValidateTest, SeveralFilesOneLineEachAndTheWorstExitCode) {
  const std::string good = File("good.xml", "<root/>");
  const std::string bad = File("bad.xml", "<root><a></root>");
  const std::string missing = (dir.path() / "none.xml").string();
  for (const char* mode : {"--in-process", "--worker"}) {
    Outcome two = Vxhost({"validate", mode, good, bad});
    ASSERT_EQ(two.out.size(), 2u) << mode;
    EXPECT_EQ(two.out[0], good + ": OK");
    EXPECT_THAT(two.out[1], ::testing::StartsWith(bad + ": "));
    EXPECT_THAT(two.out[1], ::testing::HasSubstr("mismatch"));
    EXPECT_EQ(two.code, 1) << mode;
  }
  Outcome all = Vxhost({"validate", missing, good, bad});
  ASSERT_EQ(all.out.size(), 3u);
  EXPECT_EQ(all.out[0], missing + ": Brak pliku do walidacji o nazwie: " + missing);
  EXPECT_EQ(all.out[1], good + ": OK");
  EXPECT_EQ(all.code, 3);  // the worst of 3, 0 and 1
  EXPECT_EQ(Vxhost({"validate", good, good}).code, 0);
}

TEST_F(VxhostValidateTest, ATerminalSeesWhichFileIsBeingValidated) {
  const std::string a = File("a.xml", "<root/>");
  const std::string b = File("b.xml", "<root/>");
  // stderr on a terminal, stdout elsewhere; the final line feed ends the captured line.
  Outcome r = RunProgram(
      "/usr/bin/script",
      {"-qec", test::BinPath("vxhost") + " validate " + a + " " + b + " >/dev/null; echo", "/dev/null"});
  std::string all;
  for (const auto& line : r.out) all += line;
  EXPECT_THAT(all, ::testing::HasSubstr("[1/2] " + a));
  EXPECT_THAT(all, ::testing::HasSubstr("[2/2] " + b));
  // Standard output holds the results alone.
  Outcome plain = Vxhost({"validate", a, b});
  EXPECT_EQ(plain.out, (std::vector<std::string>{a + ": OK", b + ": OK"}));
}

// One host process runs many jobs, each with a worker of its own: nothing may pile up.
TEST_F(VxhostValidateTest, FiveHundredFilesThroughTheWorkerWithFewDescriptors) {
  std::vector<std::string> args = {"--nofile=64", test::BinPath("vxhost"), "validate", "--worker"};
  for (int i = 0; i < 500; ++i) args.push_back(File("f" + std::to_string(i) + ".xml", "<root/>"));
  Outcome r = RunProgram("/usr/bin/prlimit", args);
  EXPECT_EQ(r.code, 0);
  ASSERT_EQ(r.out.size(), 500u);
  for (int i = 0; i < 500; ++i) EXPECT_EQ(r.out[i], args[4 + i] + ": OK");
}

TEST_F(VxhostValidateTest, HelpListsTheCommands) {
  Outcome help = Vxhost({"--help"});
  EXPECT_EQ(help.code, 0);
  std::string all;
  for (const auto& l : help.out) all += l + "\n";
  for (const char* command : {"status", "validate", "json"}) EXPECT_THAT(all, ::testing::HasSubstr(command));
  EXPECT_EQ(Vxhost({"no-such-command"}).code, 2);
}

}  // namespace
}  // namespace vx
