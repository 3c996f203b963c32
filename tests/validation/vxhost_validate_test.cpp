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

Outcome Vxhost(const std::vector<std::string>& args) {
  test::Child child(test::BinPath("vxhost"), args);
  Outcome r;
  while (auto line = child.ReadLine(20s)) r.out.push_back(*line);
  r.code = child.WaitExit(20s);
  return r;
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
