// vxhost's command line as users type it: options the GNU way, help per command, output that
// cannot be written, names of directories, and --worker with no worker to start.
#include <sys/wait.h>

#include <cstdlib>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/child.h"
#include "support/temp_dir.h"

namespace vx {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kFailed = "Nie powiodła się weryfikacja pliku XML.";

struct Outcome {
  int code = -1;
  std::string out, err;
};

class VxhostCli : public ::testing::Test {
 protected:
  VxhostCli() {
    test::WriteFile(dir / "good.xml", "<root/>");
    test::WriteFile(dir / "bad.xml", "<root><a></root>");
    test::WriteFile(dir / "-x.xml", "<root/>");
    test::WriteFile(dir / "data.json", "[1,{\"a\":true}]");
  }
  // Runs `vxhost ARGS` (already quoted for the shell; a redirection of standard input among them
  // wins over the default /dev/null) in the test's folder, with English system messages and
  // standard output to `stdoutTo` unless empty.
  Outcome Run(const std::string& args, const std::string& stdoutTo = "", const std::string& env = "") {
    const std::string out = stdoutTo.empty() ? (dir / "out").string() : stdoutTo;
    const std::string cmd = "cd '" + dir.path().string() + "' && LC_ALL=C.UTF-8 VX64_DIALOGS=none " + env +
                            " '" + test::BinPath("vxhost") + "' </dev/null " + args + " >" + out + " 2>'" +
                            (dir / "err").string() + "'";
    const int status = std::system(cmd.c_str());
    Outcome r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (stdoutTo.empty()) r.out = test::ReadFile(dir / "out");
    r.err = test::ReadFile(dir / "err");
    return r;
  }
  test::TempDir dir;
};

TEST_F(VxhostCli, OptionsAreReadTheGnuWay) {
  // A value after "=" or as the next word; options after the operands; unique abbreviations.
  for (const char* args :
       {"validate --log-level=300 good.xml", "validate --log-level 300 good.xml",
        "validate good.xml --in-process", "validate --in good.xml", "validate -v good.xml"}) {
    Outcome r = Run(args);
    EXPECT_EQ(r.code, 0) << args << ": " << r.err;
    EXPECT_EQ(r.out, "OK\n") << args;
  }
  Outcome r = Run("validate --log-level -5 good.xml");  // a negative value is still the value
  EXPECT_EQ(r.code, 0) << r.err;

  // "--" ends the options: a file whose name begins with "-".
  r = Run("validate -- -x.xml");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "OK\n");
  r = Run("validate -x.xml");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "vxhost validate: nieznana opcja \"-x\"\n");
  r = Run("json --indent -- -");
  EXPECT_EQ(r.code, 1);  // "-" after "--" is still standard input, here empty

  // Usage errors keep their exit code and say what was wrong.
  r = Run("validate good.xml --log-level");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "vxhost validate: --log-level wymaga wartości\n");
  r = Run("validate --log-level=x good.xml");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "vxhost validate: --log-level wymaga liczby\n");
  r = Run("validate --worker=1 good.xml");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "vxhost validate: opcja --worker nie przyjmuje wartości\n");
  r = Run("mail --b x");
  EXPECT_EQ(r.code, 2);
  EXPECT_THAT(r.err,
              StartsWith("vxhost mail: niejednoznaczna opcja \"--b\" (możliwe: --bcc --body --body-file)\n"));
  r = Run("mail --bogus");
  EXPECT_EQ(r.code, 2);
  EXPECT_THAT(r.err, StartsWith("vxhost mail: nieznana opcja \"--bogus\"\n"));
  EXPECT_EQ(Run("mail --to=a@b.pl extra").code, 2);
  EXPECT_EQ(Run("json a.json b.json").code, 2);
  r = Run("status now");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "vxhost status: polecenie nie przyjmuje argumentów\n");
}

TEST_F(VxhostCli, EveryCommandHasItsHelp) {
  for (const std::string command : {"validate", "mail", "json", "status"}) {
    for (const std::string flag : {"--help", "-h", "--he"}) {
      Outcome r = Run(command + " " + flag);
      EXPECT_EQ(r.code, 0) << command << " " << flag << ": " << r.err;
      EXPECT_THAT(r.out, StartsWith("Użycie: vxhost " + command)) << command;
      EXPECT_EQ(r.err, "") << command;
    }
  }
  // Help wins over what else is on the line, and short options combine.
  EXPECT_EQ(Run("validate -vh").code, 0);
  EXPECT_EQ(Run("mail --body a --body-file b --help").code, 0);
  // Each command's options are in its help.
  EXPECT_THAT(Run("validate --help").out, HasSubstr("--log-level=N"));
  EXPECT_THAT(Run("mail --help").out, HasSubstr("--body-file=F"));
  EXPECT_THAT(Run("json --help").out, HasSubstr("--utc"));
  EXPECT_THAT(Run("--help").out, HasSubstr("POLECENIE --help"));
}

TEST_F(VxhostCli, AnOutputThatCannotBeWrittenIsAFailure) {
  const char* commands[] = {"json data.json",
                            "json --indent data.json",
                            "validate good.xml",
                            "validate good.xml good.xml",
                            "status",
                            "--help",
                            "--version",
                            "validate --help"};
  for (const char* args : commands) {
    Outcome r = Run(args, "/dev/full");
    EXPECT_EQ(r.code, 1) << args;
    EXPECT_EQ(r.err, "vxhost: błąd zapisu na standardowe wyjście: No space left on device\n") << args;
  }
  // A closed standard output.
  Outcome r = Run("json data.json", "&-");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "vxhost: błąd zapisu na standardowe wyjście: Bad file descriptor\n");
  // Nothing written, nothing failed: the command's own code stays.
  EXPECT_EQ(Run("validate bad.xml --in-process", "/dev/null").code, 1);
  EXPECT_EQ(Run("json --bogus", "/dev/full").code, 2);
}

TEST_F(VxhostCli, ADirectoryIsNamedAsOne) {
  std::filesystem::create_directory(dir / "sub");
  Outcome r = Run("json sub");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "vxhost json: nie można odczytać pliku sub (to jest katalog)\n");
  r = Run("json <sub");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "vxhost json: nie można odczytać standardowego wejścia\n");

  r = Run("validate sub");
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "Brak pliku do walidacji o nazwie: sub (to jest katalog)\n");
  r = Run("validate --in-process sub good.xml");
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "sub: Brak pliku do walidacji o nazwie: sub (to jest katalog)\ngood.xml: OK\n");
  // A missing file is still just missing.
  r = Run("validate none.xml");
  EXPECT_EQ(r.out, "Brak pliku do walidacji o nazwie: none.xml\n");
}

TEST_F(VxhostCli, TheWorkerOptionNeverFallsBackToThisProcess) {
  const std::string missing = "VX64_WORKER='" + (dir / "no-such-worker").string() + "'";
  const std::string note =
      "Nie można znaleźć aplikacji do walidacji w trybie 64-Bit!(" + (dir / "no-such-worker").string() + ")";
  Outcome r = Run("validate --worker -v good.xml", "", missing);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, kFailed + "\n\r" + note + "\n");
  EXPECT_THAT(r.err, HasSubstr("Walidacja XML: W trybie 64-bit. " + note));
  EXPECT_THAT(r.err, Not(HasSubstr("W trybie 32-bit")));  // no run in this process
  r = Run("validate --worker good.xml bad.xml", "", missing);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "good.xml: " + kFailed + "\nbad.xml: " + kFailed + "\n");

  // Without a mode option a small file stays in this process, as before.
  r = Run("validate good.xml", "", missing);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "OK\n");
}

}  // namespace
}  // namespace vx
