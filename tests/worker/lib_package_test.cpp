#include "worker/lib_package.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "platform/file_ops.h"
#include "platform/process.h"
#include "platform/zip_extract.h"
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

}  // namespace
}  // namespace vx
