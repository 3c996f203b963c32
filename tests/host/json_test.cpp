// JSON text through the host library and `vxhost json`: the compact, indented and universal-time
// forms, the texts without a value, and the reader's messages.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

#include <optional>
#include <sstream>
#include <string>

#include "support/child.h"
#include "support/temp_dir.h"
#include "vx64/json.h"

namespace {

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = getenv("TZ")) FOld = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (FOld) {
      setenv("TZ", FOld->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> FOld;
};

constexpr char kCentralEurope[] = "CET-1CEST,M3.5.0,M10.5.0/3";

// The text written, or the reader's message.
struct Reformatted {
  bool written;
  std::string text, error;
};
Reformatted Reformat(std::string_view text, bool indent, bool utc) {
  std::ostringstream out;
  const vx64::ReformatJSONResult r = vx64::ReformatJSON(text, indent, utc, out);
  return {r.Written, out.str(), r.Error};
}

TEST(HostJson, WritesCompactIndentedAndUniversalForms) {
  ScopedTimeZone tz(kCentralEurope);
  const std::string text = "\xEF\xBB\xBF { \"n\": \"\xC5\x82\", \"t\": \"2022-11-21T09:07:34Z\" }";
  Reformatted r = Reformat(text, false, false);
  EXPECT_TRUE(r.written);
  EXPECT_EQ(r.text, "{\"n\":\"\\u0142\",\"t\":\"2022-11-21T10:07:34.000\"}");
  r = Reformat(text, true, true);
  EXPECT_EQ(r.text, "{\r\n  \"n\":\"\\u0142\",\r\n  \"t\":\"2022-11-21T09:07:34.000Z\"\r\n}");
}

TEST(HostJson, TextsWithoutAValueAndErrorsWriteNothing) {
  for (std::string_view text : {"", "  \r\n", "x", "\xEF\xBB\xBF", "]"}) {
    const Reformatted r = Reformat(text, false, false);
    EXPECT_FALSE(r.written) << text;
    EXPECT_EQ(r.text, "") << text;
    EXPECT_EQ(r.error, "") << text;
  }
  const Reformatted r = Reformat("{\"a\" 1}", false, false);
  EXPECT_FALSE(r.written);
  EXPECT_EQ(r.text, "");
  EXPECT_EQ(r.error, "Expected :. (Line: 0 Col: 5)");
  // A NUL in the text is shown escaped and keeps the error's position.
  const Reformatted nul = Reformat("[\"a\\u0000b\n\"]", false, false);
  EXPECT_NE(nul.error.find("a\\u0000b"), std::string::npos) << nul.error;
  EXPECT_NE(nul.error.find("0A HEX 22 HEX. (Line: 1 Col: 1)"), std::string::npos) << nul.error;
  EXPECT_FALSE(Reformat("[99999999999999999999]", false, false).written);
  ScopedTimeZone tz(kCentralEurope);  // a local time that does not exist cannot be made universal
  EXPECT_FALSE(Reformat("\"2022-03-27T02:30:00\"", false, true).written);
}

struct Outcome {
  int code = -1;
  std::string out, err;
};

// `vxhost json ARGS`, standard input from `input`.
Outcome VxhostJson(const vx::test::TempDir& dir, const std::string& args, const std::string& input) {
  vx::test::WriteFile(dir / "in", input);
  const std::string cmd = vx::test::BinPath("vxhost") + " json " + args + " <" + (dir / "in").string() +
                          " >" + (dir / "out").string() + " 2>" + (dir / "err").string();
  const int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, vx::test::ReadFile(dir / "out"),
          vx::test::ReadFile(dir / "err")};
}

TEST(VxhostJson, ExitCodesAndMessages) {
  vx::test::TempDir dir;
  const std::string text = "[1,{\"a\":null,\"t\":\"2022-11-21T09:07:34Z\"}]";
  Outcome r = VxhostJson(dir, "--indent --utc", text);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, Reformat(text, true, true).text + "\n");
  vx::test::WriteFile(dir / "f.json", "\xEF\xBB\xBF[true]");
  r = VxhostJson(dir, (dir / "f.json").string(), "");
  EXPECT_EQ(r.out, "[true]\n");

  r = VxhostJson(dir, "", " ");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "vxhost json: tekst nie zawiera wartości JSON\n");
  r = VxhostJson(dir, "-", "{\"a\" 1}");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "Expected :. (Line: 0 Col: 5)\n");

  EXPECT_EQ(VxhostJson(dir, "--bogus", "1").code, 2);
  r = VxhostJson(dir, (dir / "brak.json").string(), "1");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "vxhost json: nie można odczytać pliku " + (dir / "brak.json").string() + "\n");
}

}  // namespace
