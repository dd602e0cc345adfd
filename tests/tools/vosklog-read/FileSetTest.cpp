// Which files of a log are found, and in what order: the archive's older
// and newer names, plain and compressed, then the backup and the live file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FileSet.h"
#include "support/TempDir.h"

namespace vosklogread {
namespace {

namespace fs = std::filesystem;
using vosk::test::TempDir;
using vosk::test::WriteBytes;

TEST(FileSetTest, ArchiveInNameOrderThenBackupThenLive) {
    TempDir dir;
    const fs::path day = dir.Path() / "logfiles-2026" / "12" / "2026-12-11";
    const fs::path before = dir.Path() / "logfiles-2026" / "12" / "2026-12-10";
    const fs::path after = dir.Path() / "logfiles-2026" / "12" / "2026-12-12";
    fs::create_directories(day);
    fs::create_directories(before);
    fs::create_directories(after);
    for (const char* name :
         {"app.log.20261211-054107-002", "app.log.20261211-054107", "app.log.20261211-054107-001",
          "app.log.20261211-120000.tmp", "other.log.20261211-054107", "app.log.notastamp"}) {
        WriteBytes(day / name, "x\n");
    }
    for (const char* name :
         {"app.log.20261212-100000-001Z", "app.log.20261212-100000-001Z.gz",
          "app.log.20261212-110000-000Z.gz", "app.log.20261212-120000-000Z.gz.tmp"}) {
        WriteBytes(after / name, "x\n");
    }
    WriteBytes(before / "app.log.20261210-235959", "x\n");
    fs::create_directories(day / "app.log.20261211-130000");  // a folder, not a file
    WriteBytes(dir.Path() / "app.log.bak", "b\n");
    WriteBytes(dir.Path() / "app.log.bak.del", "d\n");
    WriteBytes(dir.Path() / "app.log", "l\n");

    LocalZone zone;
    FileSet set(dir.Path().string(), "app.log", &zone);
    std::vector<LogFile> files = set.Discover();
    std::vector<std::string> names;
    for (const LogFile& f : files) {
        names.push_back(fs::path(f.path).filename().string() + (f.hasCompressed ? "+gz" : ""));
    }
    // The local names read in this zone; the UTC ones a day later are
    // later in any zone.
    const std::vector<std::string> expected = {"app.log.20261210-235959",
                                               "app.log.20261211-054107",
                                               "app.log.20261211-054107-001",
                                               "app.log.20261211-054107-002",
                                               "app.log.20261212-100000-001Z+gz",
                                               "app.log.20261212-110000-000Z.gz",
                                               "app.log.bak.del",
                                               "app.log.bak",
                                               "app.log"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(files[7].kind, FileKind::kBackup);
    EXPECT_GE(files[7].fd, 0);  // opened when found
    EXPECT_EQ(files[8].kind, FileKind::kLive);
    EXPECT_TRUE(files[5].compressed);
}

TEST(FileSetTest, NothingYetAndANameWithFolders) {
    TempDir dir;
    LocalZone zone;
    EXPECT_TRUE(FileSet(dir.Path().string(), "app.log", &zone).Discover().empty());

    // The archive keeps a nested name's last part.
    fs::create_directories(dir.Path() / "sub");
    fs::create_directories(dir.Path() / "logfiles-2026" / "12" / "2026-12-11");
    WriteBytes(dir.Path() / "logfiles-2026" / "12" / "2026-12-11" / "app.log.20261211-054107",
               "a\n");
    WriteBytes(dir.Path() / "sub" / "app.log", "l\n");
    std::vector<LogFile> files = FileSet(dir.Path().string(), "sub/app.log", &zone).Discover();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].kind, FileKind::kArchive);
    EXPECT_EQ(files[1].kind, FileKind::kLive);
}

}  // namespace
}  // namespace vosklogread
