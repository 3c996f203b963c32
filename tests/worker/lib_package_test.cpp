#include "worker/lib_package.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "platform/file_ops.h"
#include "platform/process.h"
#include "platform/zip_extract.h"
#include "support/child.h"
#include "support/temp_dir.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

struct Entry {
  std::string name;
  std::string data;
  bool symlink = false;
};

void MakeZip(const fs::path& path, const std::vector<Entry>& entries) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(za, nullptr);
  for (const Entry& e : entries) {
    zip_source_t* src = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
    zip_int64_t idx = zip_file_add(za, e.name.c_str(), src, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(idx, 0) << e.name;
    if (e.symlink)
      zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(idx), 0, ZIP_OPSYS_UNIX,
                                       static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
  }
  ASSERT_EQ(zip_close(za), 0);
}

UString U(const fs::path& p) {
  return Utf8ToU(p.string());
}

// Sends the debug channel to a file for the test's duration.
class DebugCapture {
 public:
  DebugCapture() { setenv("VX64_DEBUG_LOG", (dir_ / "debug.log").c_str(), 1); }
  ~DebugCapture() { unsetenv("VX64_DEBUG_LOG"); }
  [[nodiscard]] std::string Text() const { return test::ReadFile(dir_ / "debug.log"); }
  void Clear() { test::WriteFile(dir_ / "debug.log", ""); }  // the channel may keep the file open

 private:
  test::TempDir dir_;
};

class LibPackage : public testing::Test {
 protected:
  fs::path Folder() const { return work_ / "64bit"; }
  fs::path Archive() const { return work_ / "LIB64BIT.ZIP"; }
  void Prepare() { Prepare64bitLibIn(U(Folder()), U(Archive())); }

  test::TempDir work_;
  DebugCapture debug_;
};

TEST_F(LibPackage, UnpacksIntoAMissingFolderAndWritesTheMarker) {
  MakeZip(Archive(), {{"libssl.so", "ssl"}, {"sub/dir/libcrypto.so", "crypto"}, {"empty/", ""}});
  Prepare();
  EXPECT_EQ(test::ReadFile(Folder() / "libssl.so"), "ssl");
  EXPECT_EQ(test::ReadFile(Folder() / "sub/dir/libcrypto.so"), "crypto");
  EXPECT_TRUE(fs::is_directory(Folder() / "empty"));
  EXPECT_EQ(test::ReadFile(Folder() / "LIB64BIT.ZIP"), test::ReadFile(Archive()));
  EXPECT_EQ(platform::TlsLibraryPath(), U(Folder()));
  EXPECT_EQ(debug_.Text(), "");
}

TEST_F(LibPackage, CurrentFolderIsLeftAloneAndAChangedOneIsRebuilt) {
  MakeZip(Archive(), {{"a.so", "new"}});
  fs::create_directories(Folder());
  test::WriteFile(Folder() / "stale.so", "old");
  fs::copy_file(Archive(), Folder() / "LIB64BIT.ZIP");
  Prepare();
  EXPECT_TRUE(fs::exists(Folder() / "stale.so"));
  EXPECT_FALSE(fs::exists(Folder() / "a.so"));

  // Marker of another size: rebuilt.
  test::WriteFile(Folder() / "LIB64BIT.ZIP", "different");
  Prepare();
  EXPECT_FALSE(fs::exists(Folder() / "stale.so"));
  EXPECT_EQ(test::ReadFile(Folder() / "a.so"), "new");

  // No marker: rebuilt.
  fs::remove(Folder() / "LIB64BIT.ZIP");
  test::WriteFile(Folder() / "stale.so", "old");
  Prepare();
  EXPECT_FALSE(fs::exists(Folder() / "stale.so"));
  EXPECT_TRUE(fs::exists(Folder() / "LIB64BIT.ZIP"));
  EXPECT_EQ(debug_.Text(), "");
}

TEST_F(LibPackage, SizesAreComparedOnAllSixtyFourBits) {
  MakeZip(Archive(), {{"a.so", "new"}});
  fs::create_directories(Folder());
  // A sparse marker exactly 4 GiB larger than the archive: equal in the low 32 bits only.
  const auto marker = Folder() / "LIB64BIT.ZIP";
  test::WriteFile(marker, "");
  fs::resize_file(marker, fs::file_size(Archive()) + (std::uintmax_t{1} << 32));
  EXPECT_EQ(FileSize(U(marker)),
            static_cast<std::int64_t>(fs::file_size(Archive()) + (std::uintmax_t{1} << 32)));
  Prepare();
  EXPECT_EQ(test::ReadFile(Folder() / "a.so"), "new");
  EXPECT_EQ(FileSize(U(marker)), FileSize(U(Archive())));
  EXPECT_EQ(FileSize(U(work_ / "none")), -1);
}

TEST_F(LibPackage, MissingArchiveOnlyReports) {
  fs::create_directories(Folder());
  test::WriteFile(Folder() / "keep.so", "x");
  Prepare();
  EXPECT_TRUE(fs::exists(Folder() / "keep.so"));
  EXPECT_EQ(debug_.Text(), "Uwaga! - brak pliku lib64bit.zip !!!\n");
  EXPECT_EQ(platform::TlsLibraryPath(), U(Folder()));
}

TEST_F(LibPackage, DamagedArchiveLeavesNoMarker) {
  MakeZip(Archive(), {{"a.so", std::string(5000, 'a')}, {"b.so", std::string(5000, 'b')}});
  std::string bytes = test::ReadFile(Archive());
  bytes.resize(bytes.size() / 2);
  test::WriteFile(Archive(), bytes);
  Prepare();
  EXPECT_TRUE(fs::is_directory(Folder()));
  EXPECT_FALSE(fs::exists(Folder() / "LIB64BIT.ZIP"));
  EXPECT_EQ(debug_.Text().rfind("Problem przy rozpakowaniu bibliotek 64bit: ", 0), 0u) << debug_.Text();
}

TEST_F(LibPackage, EntriesLeavingTheFolderAreRefused) {
  MakeZip(Archive(), {{"ok.so", "fine"},
                      {"../escape.txt", "bad"},
                      {"sub/../../escape2.txt", "bad"},
                      {"/tmp/vx64-absolute-" + std::to_string(getpid()), "bad"},
                      {"..\\escape3.txt", "bad"},
                      {"link.so", "/etc/passwd", true}});
  Prepare();
  EXPECT_EQ(test::ReadFile(Folder() / "ok.so"), "fine");
  EXPECT_FALSE(fs::exists(work_ / "escape.txt"));
  EXPECT_FALSE(fs::exists(work_ / "escape2.txt"));
  EXPECT_FALSE(fs::exists(work_ / "escape3.txt"));
  EXPECT_FALSE(fs::exists("/tmp/vx64-absolute-" + std::to_string(getpid())));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Folder() / "link.so")));
  EXPECT_FALSE(fs::exists(Folder() / "LIB64BIT.ZIP"));  // counts as a failed unpacking
  std::string log = debug_.Text();
  for (const char* name :
       {"../escape.txt", "sub/../../escape2.txt", "/tmp/vx64-absolute-", "..\\escape3.txt", "link.so"})
    EXPECT_NE(log.find(std::string("Problem przy rozpakowaniu bibliotek 64bit: ") + name), std::string::npos)
        << name << "\n"
        << log;
}

TEST_F(LibPackage, LinksAlreadyInTheFolderAreNotFollowed) {
  // A folder that could not be deleted may still hold a link to elsewhere.
  test::TempDir outside;
  fs::create_directories(Folder());
  fs::create_directory_symlink(outside.path(), Folder() / "sub");
  fs::create_symlink(outside / "target.so", Folder() / "top.so");
  MakeZip(Archive(), {{"sub/x.so", "bad"}, {"top.so", "bad"}});
  EXPECT_TRUE(platform::ExtractZip(U(Archive()), U(Folder())).error.size() > 0);
  EXPECT_TRUE(fs::is_empty(outside.path()));
}

TEST(LibPackageDefault, UsesTheArchiveInTheCurrentDirectory) {
  test::TempDir cwd;
  DebugCapture debug;
  fs::path saved = fs::current_path();
  fs::current_path(cwd.path());
  Prepare64bitLib();
  fs::current_path(saved);
  EXPECT_EQ(debug.Text(), "Uwaga! - brak pliku lib64bit.zip !!!\n");
  EXPECT_EQ(platform::TlsLibraryPath(), platform::ExecutableDir() + u"/64bit");
}

// An installed worker (in an install's program folder, here a copy of the built one) keeps its
// libraries in the user's cache folder: a system install never writes into its own folders.
TEST(LibPackageDefault, AnInstalledWorkerUnpacksIntoTheUsersCache) {
  using namespace std::chrono_literals;
  test::TempDir tree;
  const fs::path programs = tree / "prefix/libexec/vx64";
  fs::create_directories(programs);
  fs::copy_file(test::BinPath("vx64BWorker"), programs / "vx64BWorker");
  fs::create_directories(tree / "cwd");
  MakeZip(tree / "cwd/LIB64BIT.ZIP", {{"libssl.so", "x"}});
  const fs::path cache = tree / "cache";
  DebugCapture debug;
  auto run = [&](const std::string& environment) {
    test::Child worker("/bin/sh", {"-c", "cd \"$1\" && exec env " + environment + " \"$0\"",
                                   (programs / "vx64BWorker").string(), (tree / "cwd").string()});
    EXPECT_EQ(worker.WaitExit(20s), 0) << debug.Text();
  };
  run("XDG_CACHE_HOME='" + cache.string() + "'");
  EXPECT_EQ(test::ReadFile(cache / "vx64/64bit/libssl.so"), "x");
  EXPECT_TRUE(fs::exists(cache / "vx64/64bit/LIB64BIT.ZIP"));
  run("-u XDG_CACHE_HOME HOME='" + (tree / "home").string() + "'");
  EXPECT_EQ(test::ReadFile(tree / "home/.cache/vx64/64bit/libssl.so"), "x");
  EXPECT_FALSE(fs::exists(programs / "64bit"));
  EXPECT_EQ(debug.Text().find("64bit"), std::string::npos) << debug.Text();

  // Without a cache folder to use, nothing is unpacked anywhere.
  fs::remove_all(cache);
  run("-u XDG_CACHE_HOME -u HOME");
  EXPECT_NE(debug.Text().find("brak katalogu na biblioteki 64bit"), std::string::npos) << debug.Text();
  EXPECT_FALSE(fs::exists(cache));
  EXPECT_FALSE(fs::exists(programs / "64bit"));
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

// A stored entry whose headers claim `claimed` unpacked bytes while it holds only a few.
void MakeLyingZip(const fs::path& path, std::uint32_t claimed) {
  MakeZip(path, {{"a.so", "tiny"}});
  std::string bytes = test::ReadFile(path);
  auto patch = [&](std::size_t at) {
    for (int i = 0; i < 4; ++i)
      bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((claimed >> (8 * i)) & 0xFF);
  };
  const std::size_t central = bytes.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  patch(22);            // local header: uncompressed size
  patch(central + 24);  // central directory: uncompressed size
  test::WriteFile(path, bytes);
}

TEST_F(LibPackage, AnArchiveBeyondTheBoundsIsRefusedBeforeAnythingIsWritten) {
  MakeLyingZip(Archive(), 0x50000000);  // 1.25 GiB claimed
  Prepare();
  const std::vector<fs::path> onlyTheFailure{Folder() / "LIB64BIT.ZIP.failed"};
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(Folder()), {}), onlyTheFailure);
  EXPECT_NE(
      debug_.Text().find("Problem przy rozpakowaniu bibliotek 64bit: archive refused: unpacked size over"),
      std::string::npos)
      << debug_.Text();

  // Too many entries.
  fs::remove_all(Folder());
  debug_.Clear();
  {
    int err = 0;
    zip_t* za = zip_open(Archive().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(za, nullptr);
    for (int i = 0; i <= 10000; ++i) ASSERT_GE(zip_dir_add(za, std::to_string(i).c_str(), 0), 0);
    ASSERT_EQ(zip_close(za), 0);
  }
  Prepare();
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(Folder()), {}), onlyTheFailure);
  EXPECT_NE(debug_.Text().find("archive refused: 10001 entries"), std::string::npos) << debug_.Text();

  // Data beyond what the headers claim stops at the bound too.
  test::TempDir out;
  MakeZip(Archive(), {{"a.so", std::string(3000, 'a')}, {"b.so", std::string(3000, 'b')}});
  platform::ZipExtractResult r = platform::ExtractZip(U(Archive()), U(out.path()), {5000, 10});
  EXPECT_NE(r.error.find("unpacked size over"), std::string::npos) << r.error;
}

TEST_F(LibPackage, AFailedArchiveIsNotUnpackedAgainUntilItChanges) {
  MakeLyingZip(Archive(), 0x50000000);
  Prepare();
  ASSERT_FALSE(fs::exists(Folder() / "LIB64BIT.ZIP"));
  test::WriteFile(Folder() / "left.so", "x");
  debug_.Clear();
  Prepare();
  EXPECT_TRUE(fs::exists(Folder() / "left.so"));  // not deleted and unpacked again
  EXPECT_NE(debug_.Text().find("pomijam do jego zmiany"), std::string::npos) << debug_.Text();

  MakeZip(Archive(), {{"a.so", "fixed"}});
  Prepare();
  EXPECT_FALSE(fs::exists(Folder() / "left.so"));
  EXPECT_EQ(test::ReadFile(Folder() / "a.so"), "fixed");
  EXPECT_EQ(test::ReadFile(Folder() / "LIB64BIT.ZIP"), test::ReadFile(Archive()));
}

TEST_F(LibPackage, AnEntryNamedLikeTheArchiveDoesNotBreakTheMarker) {
  MakeZip(Archive(), {{"LIB64BIT.ZIP", "not the archive"}, {"a.so", "a"}});
  Prepare();
  EXPECT_EQ(test::ReadFile(Folder() / "LIB64BIT.ZIP"), test::ReadFile(Archive()));
  EXPECT_EQ(debug_.Text(), "");
  test::WriteFile(Folder() / "a.so", "kept");
  Prepare();  // current: left alone
  EXPECT_EQ(test::ReadFile(Folder() / "a.so"), "kept");
}

TEST_F(LibPackage, TheArchiveNameMatchesInAnyLetterCase) {
  MakeZip(work_ / "Lib64Bit.zip", {{"a.so", "a"}});
  Prepare();
  EXPECT_EQ(test::ReadFile(Folder() / "a.so"), "a");
  EXPECT_EQ(test::ReadFile(Folder() / "LIB64BIT.ZIP"), test::ReadFile(work_ / "Lib64Bit.zip"));
  EXPECT_EQ(debug_.Text(), "");
}

// System error texts come in the locale's code set; the debug lines carry them as UTF-8.
TEST(ZipExtract, SystemErrorTextsAreDecodedFromTheLocale) {
  test::TempDir locales;
  const std::string name = "pl_PL.ISO-8859-2";
  const std::string build =
      "localedef -i pl_PL -f ISO-8859-2 '" + (locales / name).string() + "' >/dev/null 2>&1";
  if (std::system(build.c_str()) != 0) GTEST_SKIP() << "localedef cannot build " << name;
  test::TempDir work;
  fs::create_directories(work / "64bit");
  MakeZip(work / "a.zip", {{std::string(300, 'n') + ".so", "x"}});  // a name the file system refuses

  const char* oldLocpath = std::getenv("LOCPATH");
  const std::string savedLocpath = oldLocpath != nullptr ? oldLocpath : "";
  setenv("LOCPATH", locales.path().c_str(), 1);
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, name.c_str()), nullptr);
  platform::ZipExtractResult r = platform::ExtractZip(U(work / "a.zip"), U(work / "64bit"));
  std::setlocale(LC_ALL, saved.c_str());
  if (oldLocpath != nullptr)
    setenv("LOCPATH", savedLocpath.c_str(), 1);
  else
    unsetenv("LOCPATH");

  ASSERT_FALSE(r.error.empty());
  // The text is the translated one, in UTF-8 (valid as such, with its Polish letters).
  EXPECT_NE(r.error.find("Za długa nazwa pliku"), std::string::npos) << r.error;
  EXPECT_EQ(UToUtf8(Utf8ToU(r.error)), r.error);
}

}  // namespace
}  // namespace vx
