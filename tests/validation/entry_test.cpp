// The file entry point: missing and unreadable files, byte-order marks, awkward paths.
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "validation/entry.h"
#include "validation/validation_fixture.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class EntryTest : public test::ValidationTest {};

TEST_F(EntryTest, MissingFileAndDirectory) {
  const std::string missing = (dir.path() / "brak.xml").string();
  UString r = IsXMLFIle_Valid(Utf8ToU(missing), u"", u"", false);
  EXPECT_EQ(r, Utf8ToU("Brak pliku do walidacji o nazwie: " + missing));
  EXPECT_THAT(log.Texts(), ElementsAre("Walidacja XML - Start.",
                                       "Walidacja XML: Rozpoczęcie walidacji pliku: \"" + missing + "\"",
                                       "Walidacja XML: Brak pliku do walidacji o nazwie: \"" + missing + "\"",
                                       "Walidacja XML: Wynik: Brak pliku do walidacji o nazwie: " + missing,
                                       "Walidacja XML - Koniec."));
  const UString folder = Utf8ToU(dir.path().string());
  EXPECT_EQ(IsXMLFIle_Valid(folder, u"", u"", false), u"Brak pliku do walidacji o nazwie: " + folder);
}

TEST_F(EntryTest, UnreadableFileIsAFailure) {
  const auto file = dir.path() / "zablokowany.xml";
  test::WriteFile(file, "<a/>");
  chmod(dir.path().c_str(), 0755);  // the folder stays open, the file does not
  chmod(file.c_str(), 0);
  // Root reads everything; check the file as an ordinary user would.
  const uid_t before = setfsuid(geteuid() == 0 ? 65534 : geteuid());
  UString r = IsXMLFIle_Valid(Utf8ToU(file.string()), u"", u"", false);
  setfsuid(before);
  EXPECT_EQ(r, u"Nie powiodła się weryfikacja pliku XML.");
  bool reason = false;
  for (const auto& t : log.Texts())
    reason |= t == "Walidacja XML: W trybie 32-bit nie powiodła się: Permission denied";
  EXPECT_TRUE(reason) << testing::PrintToString(log.Texts());
}

TEST_F(EntryTest, ByteOrderMarksAreDroppedEverywhere) {
  const std::string bom = "\xEF\xBB\xBF";
  const auto file = dir.path() / "bom.xml";
  // A mark at the start, inside text, and inside a name (which would otherwise break it).
  test::WriteFile(file, bom + "<?xml version=\"1.0\"?><ro" + bom + "ot>te" + bom + "xt</root>");
  EXPECT_EQ(IsXMLFIle_Valid(Utf8ToU(file.string()), u"", u"", false), u"");
  EXPECT_TRUE(log.Has("Walidacja XML: Wynik: OK"));
  EXPECT_TRUE(log.Has("Walidacja XML: W trybie 32-bit."));
}

TEST_F(EntryTest, MarksAcrossBlockBoundariesAndTheEnd) {
  std::string carry;
  std::string a = "x\xEF";
  std::size_t n = StripByteOrderMarks(a.data(), a.size(), carry, false);
  EXPECT_EQ(std::string(a.data(), n), "x");
  EXPECT_EQ(carry, "\xEF");
  std::string b = carry + "\xBB\xBFy\xEF\xBB";
  carry.clear();
  n = StripByteOrderMarks(b.data(), b.size(), carry, false);
  EXPECT_EQ(std::string(b.data(), n), "y");
  EXPECT_EQ(carry, "\xEF\xBB");
  std::string c = carry + "z";  // not a mark after all
  carry.clear();
  n = StripByteOrderMarks(c.data(), c.size(), carry, true);
  EXPECT_EQ(std::string(c.data(), n), "\xEF\xBBz");
  std::string d = "\xC4\x85\xEF\xBF\xBD";  // other three-byte characters stay
  n = StripByteOrderMarks(d.data(), d.size(), carry, true);
  EXPECT_EQ(std::string(d.data(), n), d);
}

TEST_F(EntryTest, PathsWithBlanksCommasQuotesAndPolishLetters) {
  const auto folder = dir.path() / "Moje \"dokumenty\", żółć";
  std::filesystem::create_directories(folder);
  const auto file = folder / "plik, zażółć gęślą.xml";
  test::WriteFile(file, "<root><a/></root>");
  EXPECT_EQ(IsXMLFIle_Valid(Utf8ToU(file.string()), u"", u"", false), u"");
  test::WriteFile(file, "<root><a></root>");
  UString r = IsXMLFIle_Valid(Utf8ToU(file.string()), u"", u"", false);
  EXPECT_THAT(UToUtf8(r), HasSubstr("mismatch"));
  EXPECT_TRUE(log.Has("Walidacja XML: Rozpoczęcie walidacji pliku: \"" + file.string() + "\""));
}

TEST_F(EntryTest, DocumentDeclaringAnotherEncodingIsReadAsUtf8) {
  const auto file = dir.path() / "enc.xml";
  test::WriteFile(file, "<?xml version=\"1.0\" encoding=\"windows-1250\"?><root>zażółć</root>");
  EXPECT_EQ(IsXMLFIle_Valid(Utf8ToU(file.string()), u"", u"", false), u"");
}

}  // namespace
}  // namespace vx
