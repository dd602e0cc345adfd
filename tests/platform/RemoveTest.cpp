#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/Files.h"
#include "support/FileRemove.h"
#include "support/FileTree.h"
#include "support/TempDir.h"

namespace vosk::platform {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::FileRemove;
using test::MakeDir;
using test::MakeFile;
using test::MakeLink;
using test::MakeReadOnly;
using test::TempDir;

fs::perms PermissionsOf(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).permissions();
}

bool Writable(const fs::path& path) {
    return (PermissionsOf(path) & fs::perms::owner_write) != fs::perms::none;
}

class Removal : public ::testing::Test {
  protected:
    TempDir dir_;
};

TEST_F(Removal, DeleteTakesPlainFilesOnly) {
    MakeFile(dir_.Path() / "f");
    MakeDir(dir_.Path() / "d");
    EXPECT_TRUE(FileDelete(dir_.Str("f").c_str()));
    EXPECT_FALSE(Exists(dir_.Path() / "f"));
    EXPECT_FALSE(FileDelete(dir_.Str("f").c_str()));
    EXPECT_FALSE(FileDelete(dir_.Str("d").c_str()));
    EXPECT_TRUE(Exists(dir_.Path() / "d"));
    EXPECT_FALSE(FileDelete(nullptr));
}

TEST_F(Removal, RemoveAndDirectoryRemove) {
    MakeFile(dir_.Path() / "f");
    MakeDir(dir_.Path() / "empty");
    MakeFile(dir_.Path() / "full/inside");
    EXPECT_TRUE(FileRemove((dir_.Str() + "\\f").c_str()));
    EXPECT_FALSE(Exists(dir_.Path() / "f"));
    EXPECT_FALSE(DirectoryRemove(dir_.Str("full").c_str()));
    EXPECT_TRUE(Exists(dir_.Path() / "full/inside"));
    EXPECT_TRUE(DirectoryRemove(dir_.Str("empty").c_str()));
    EXPECT_FALSE(Exists(dir_.Path() / "empty"));
    EXPECT_FALSE(FileRemove(nullptr));
    EXPECT_FALSE(DirectoryRemove(nullptr));
}

TEST_F(Removal, ReadOnlyFileIsMadeWritableAndDeleted) {
    MakeFile(dir_.Path() / "ro");
    MakeReadOnly(dir_.Path() / "ro");
    ASSERT_FALSE(Writable(dir_.Path() / "ro"));
    EXPECT_TRUE(PathMakeWritable(dir_.Str("ro").c_str()));
    EXPECT_TRUE(Writable(dir_.Path() / "ro"));
    EXPECT_TRUE(FileDelete(dir_.Str("ro").c_str()));
    EXPECT_FALSE(PathMakeWritable(dir_.Str("ro").c_str()));
    EXPECT_FALSE(PathMakeWritable(nullptr));
}

TEST_F(Removal, WritableDirectoryKeepsItsOtherPermissions) {
    MakeDir(dir_.Path() / "d");
    MakeReadOnly(dir_.Path() / "d");
    fs::perms before = PermissionsOf(dir_.Path() / "d");
    EXPECT_TRUE(PathMakeWritable(dir_.Str("d").c_str()));
    fs::perms after = PermissionsOf(dir_.Path() / "d");
    EXPECT_TRUE((after & fs::perms::owner_write) != fs::perms::none);
    EXPECT_EQ(after & fs::perms::owner_exec, before & fs::perms::owner_exec);
    EXPECT_TRUE(DirectoryRemove(dir_.Str("d").c_str()));
}

TEST_F(Removal, LinksAreNeverFollowed) {
    TempDir outside;
    MakeFile(outside.Path() / "canary");
    MakeDir(outside.Path() / "tree");
    MakeFile(outside.Path() / "tree/canary");
    MakeReadOnly(outside.Path() / "canary");
    if (!MakeLink(outside.Path() / "canary", dir_.Path() / "flink", false) ||
        !MakeLink(outside.Path() / "tree", dir_.Path() / "dlink", true)) {
        GTEST_SKIP() << "symbolic links cannot be created here";
    }
    EXPECT_FALSE(PathMakeWritable(dir_.Str("flink").c_str()));
    EXPECT_FALSE(Writable(outside.Path() / "canary"));

    // Deleting or removing a link takes the link away, never its target.
    EXPECT_TRUE(FileDelete(dir_.Str("flink").c_str()));
    EXPECT_FALSE(Exists(dir_.Path() / "flink"));
    if (!FileDelete(dir_.Str("dlink").c_str())) {
        DirectoryRemove(dir_.Str("dlink").c_str());
    }
    EXPECT_FALSE(Exists(dir_.Path() / "dlink"));
    EXPECT_TRUE(Exists(outside.Path() / "canary"));
    EXPECT_TRUE(Exists(outside.Path() / "tree/canary"));
}

TEST_F(Removal, AFileWithOtherNamesKeepsItsPermissions) {
    TempDir outside;
    MakeFile(outside.Path() / "canary");
    MakeReadOnly(outside.Path() / "canary");
    std::error_code ec;
    fs::create_hard_link(outside.Path() / "canary", dir_.Path() / "hard", ec);
    if (ec) {
        GTEST_SKIP() << "hard links cannot be made here";
    }
    PathMakeWritable(dir_.Str("hard").c_str());
    EXPECT_FALSE(Writable(outside.Path() / "canary"));
    // The name itself can still go, or at least the file outside stays.
    FileDelete(dir_.Str("hard").c_str());
    EXPECT_TRUE(Exists(outside.Path() / "canary"));
}

}  // namespace
}  // namespace vosk::platform
