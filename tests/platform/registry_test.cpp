#include "platform/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "support/debug_log.h"
#include "support/temp_dir.h"

namespace vx::platform {
namespace {

constexpr const char* kMachine = "HKEY_LOCAL_MACHINE";

std::string Utf16LeWithBom(const std::u16string& text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

// "C:\Mail\%USERNAME%" as REG_EXPAND_SZ bytes, split over continuation lines.
constexpr const char16_t* kUtf16File =
    u"Windows Registry Editor Version 5.00\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n"
    u"@=\"Poczta Żółw\"\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\Zeta]\r\n"
    u"\"DLLPath\"=hex(2):2f,00,6f,00,70,00,74,00,2f,00,25,00,48,00,\\\r\n"
    u"  4f,00,4d,00,45,00,25,00,00,00\r\n"
    u"\"Count\"=dword:0000002a\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\Alpha]\r\n"
    u"@=\"Alpha \\\"Mail\\\" \\\\ 1\"\r\n"
    u"\r\n"
    u"[HKEY_CURRENT_USER\\SOFTWARE\\Other]\r\n"
    u"@=\"not in this root\"\r\n";

TEST(Registry, Utf16FileWithExpandStringsContinuationsDwordsAndFileOrder) {
  const RegistryHive hive = RegistryHive::Parse(Utf16LeWithBom(kUtf16File), kMachine, "test");
  EXPECT_EQ(hive.String("SOFTWARE\\Clients\\Mail", ""), "Poczta Żółw");
  // Subkeys come in file order, not sorted.
  EXPECT_EQ(hive.SubKeys("SOFTWARE\\Clients\\Mail"), (std::vector<std::string>{"Zeta", "Alpha"}));
  const auto path = hive.Value("software\\CLIENTS\\mail\\zeta", "dllpath");
  ASSERT_TRUE(path);
  EXPECT_EQ(path->type, RegType::ExpandString);
  EXPECT_EQ(path->text, "/opt/%HOME%");
  EXPECT_EQ(hive.Dword("SOFTWARE\\Clients\\Mail\\Zeta", "Count"), 42u);
  EXPECT_FALSE(hive.String("SOFTWARE\\Clients\\Mail\\Zeta", "Count"));
  EXPECT_EQ(hive.String("SOFTWARE\\Clients\\Mail\\Alpha", ""), "Alpha \"Mail\" \\ 1");
  // Keys of another root are not part of this one; parents exist implicitly.
  EXPECT_FALSE(hive.KeyExists("SOFTWARE\\Other"));
  EXPECT_TRUE(hive.KeyExists("SOFTWARE"));
  EXPECT_FALSE(hive.KeyExists("SOFTWARE\\Clients\\Mail\\Beta"));
}

TEST(Registry, Utf8Regedit4FileWithPolishKeyNamesInAnyCase) {
  const std::string text =
      "\xEF\xBB\xBFREGEDIT4\n"
      "[HKLM\\Software\\Łódź]\n"
      "\"Wartość\"=\"tak\"\n"
      "; a comment\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ŁÓDŹ\\Sub]\n"
      "\"x\"=\"1\"\n"
      "\"X\"=\"2\"\n";
  const RegistryHive hive = RegistryHive::Parse(text, kMachine, "test");
  EXPECT_EQ(hive.String("SOFTWARE\\łódź", "WARTOŚĆ"), "tak");
  EXPECT_EQ(hive.SubKeys("software\\Łódź"), (std::vector<std::string>{"Sub"}));
  // A later assignment of the same value name replaces the first.
  EXPECT_EQ(hive.String("SOFTWARE\\Łódź\\Sub", "x"), "2");
}

TEST(Registry, MalformedFileIsReadAsFarAsItIsSoundAndLogged) {
  test::DebugLogCapture log;
  const std::string text =
      "Windows Registry Editor Version 5.00\n"
      "[HKEY_LOCAL_MACHINE\\A]\n"
      "\"good\"=\"1\"\n"
      "\"bad\"=dword:xyz\n"
      "\"unterminated=\"2\"\n"
      "garbage line\n"
      "[HKEY_LOCAL_MACHINE\\B\n"
      "\"lost\"=\"in a broken key\"\n"
      "[HKEY_LOCAL_MACHINE\\C]\n"
      "\"hex\"=hex(2):4x,00\n"
      "\"bin\"=hex:01,02\n"
      "\"after\"=\"3\"\n"
      "\"cut\"=hex(2):41,00,\\\n";  // continuation at the end of the file
  const RegistryHive hive = RegistryHive::Parse(text, kMachine, "broken.reg");
  EXPECT_EQ(hive.String("A", "good"), "1");
  EXPECT_FALSE(hive.Value("A", "bad"));
  EXPECT_FALSE(hive.KeyExists("B"));
  EXPECT_EQ(hive.String("C", "after"), "3");
  EXPECT_FALSE(hive.Value("C", "hex"));
  EXPECT_FALSE(hive.Value("C", "bin"));  // binary values are not read
  EXPECT_TRUE(log.Contains("broken.reg:4: malformed value data"));
  EXPECT_TRUE(log.Contains("broken.reg:7: malformed key line"));
}

TEST(Registry, HostileInputsStayBounded) {
  // Not a registry file at all: nothing read.
  EXPECT_FALSE(RegistryHive::Parse("MZ\x90\x00\x03binary", kMachine, "x").KeyExists("A"));
  EXPECT_FALSE(RegistryHive::Parse("", kMachine, "x").KeyExists("A"));
  // An odd-length UTF-16 file, a lone high byte, nested keys beyond the depth limit.
  EXPECT_NO_THROW((void)RegistryHive::Parse("\xFF\xFEW\0i\0", kMachine, "x"));
  std::string deep = "REGEDIT4\n[HKEY_LOCAL_MACHINE";
  for (int i = 0; i < 600; ++i) deep += "\\k";
  deep += "]\n\"v\"=\"1\"\n";
  EXPECT_FALSE(RegistryHive::Parse(deep, kMachine, "x").KeyExists("k"));
  // A value continued endlessly is cut at the line bound and the file goes on after it.
  std::string longLine = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex(2):";
  for (int i = 0; i < 200000; ++i) longLine += "41,00,\\\n";
  longLine += "00,00\n[HKEY_LOCAL_MACHINE\\B]\n\"w\"=\"ok\"\n";
  const RegistryHive hive = RegistryHive::Parse(longLine, kMachine, "x");
  EXPECT_FALSE(hive.Value("A", "v"));
  EXPECT_EQ(hive.String("B", "w"), "ok");
}

TEST(Registry, FilesComeFromTheOverridesOrTheUsersConfigFolder) {
  test::TempDir dir;
  test::WriteFile(dir / "machine.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\M]\n@=\"m\"\n");
  std::filesystem::create_directories(dir / "cfg/vx64");
  test::WriteFile(dir / "cfg/vx64/registry.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\U]\n@=\"u\"\n");
  setenv("VX64_REGISTRY_HKLM", (dir / "machine.reg").c_str(), 1);
  unsetenv("VX64_REGISTRY_HKCU");
  setenv("XDG_CONFIG_HOME", (dir / "cfg").c_str(), 1);
  EXPECT_EQ(RegistryHive::Load(RegRoot::LocalMachine).String("M", ""), "m");
  EXPECT_EQ(RegistryHive::Load(RegRoot::CurrentUser).String("U", ""), "u");
  setenv("VX64_REGISTRY_HKLM", (dir / "missing.reg").c_str(), 1);
  EXPECT_FALSE(RegistryHive::Load(RegRoot::LocalMachine).KeyExists("M"));
  setenv("VX64_REGISTRY_HKLM", dir.path().c_str(), 1);  // a folder is not read
  EXPECT_FALSE(RegistryHive::Load(RegRoot::LocalMachine).KeyExists("M"));
  unsetenv("VX64_REGISTRY_HKLM");
  unsetenv("XDG_CONFIG_HOME");
}

TEST(Registry, EnvironmentExpansionKeepsUndefinedVariables) {
  setenv("VX_TEST_DIR", "/srv/mail", 1);
  unsetenv("VX_TEST_UNDEFINED");
  EXPECT_EQ(ExpandEnvironmentVariables("%VX_TEST_DIR%/lib.so"), "/srv/mail/lib.so");
  EXPECT_EQ(ExpandEnvironmentVariables("%VX_TEST_UNDEFINED%/x"), "%VX_TEST_UNDEFINED%/x");
  EXPECT_EQ(ExpandEnvironmentVariables("%VX_TEST_UNDEFINED%%VX_TEST_DIR%"), "%VX_TEST_UNDEFINED%/srv/mail");
  EXPECT_EQ(ExpandEnvironmentVariables("100% sure"), "100% sure");
  EXPECT_EQ(ExpandEnvironmentVariables("a%%b"), "a%%b");
}

}  // namespace
}  // namespace vx::platform
