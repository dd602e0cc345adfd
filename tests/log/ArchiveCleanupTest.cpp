#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "log/ArchiveCleanup.h"
#include "platform/Directory.h"
#include "platform/HeldDirectory.h"
#include "support/FileTree.h"
#include "support/TempDir.h"
#include "text/StringBuffer.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::CountEntries;
using test::Exists;
using test::MakeDir;
using test::MakeFile;
using test::MakeLink;
using test::MakeReadOnly;
using test::TempDir;

// Noon of 15 June 2021, local time: a day of our choosing that the trees
// below call today or not.
time_t June15() {
    std::tm date = {};
    date.tm_year = 2021 - 1900;
    date.tm_mon = 5;
    date.tm_mday = 15;
    date.tm_hour = 12;
    date.tm_isdst = -1;
    return std::mktime(&date);
}

void MakeFiles(const fs::path& dir, int count) {
    MakeDir(dir);
    for (int i = 0; i < count; ++i) {
        MakeFile(dir / ("f" + std::to_string(i) + ".log"));
    }
}

uint64_t CreateTimeOf(const fs::path& path) {
    const std::string name = path.filename().generic_string();
    for (platform::DirectoryWalk walk(path.parent_path().generic_string().c_str(), name.c_str());
         walk.AtEntry(); walk.Next()) {
        if (name == walk.Entry().name) {
            return walk.Entry().createTime;
        }
    }
    return 0;
}

// Creation times come from a coarse clock: returns once a directory made in
// scratch gets a later time than path has. Usually a few milliseconds.
void WaitUntilLaterThan(const fs::path& path, const fs::path& scratch) {
    const uint64_t before = CreateTimeOf(path);
    for (int i = 0; i < 2000; ++i) {
        fs::path probe = scratch / "probe";
        MakeDir(probe);
        uint64_t now = CreateTimeOf(probe);
        std::error_code ec;
        fs::remove(probe, ec);
        if (now > before) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

class ArchiveCleanup : public ::testing::Test {
  protected:
    fs::path Logs(const std::string& sub = "") const {
        return sub.empty() ? root_.Path() / "logs" : root_.Path() / "logs" / sub;
    }
    PruneReport Prune(time_t lastWrite = June15()) {
        platform::HeldDirectoryPtr logs(platform::DirectoryHold(Logs().generic_string().c_str()));
        return PruneOldestArchive(logs.get(), lastWrite, DiskUse{910, 900});
    }
    // Makes sure that whatever is made next is created later than path.
    void After(const std::string& sub) {
        WaitUntilLaterThan(Logs(sub), root_.Path());
        ASSERT_NE(CreateTimeOf(Logs(sub)), 0u);
    }

    TempDir root_;
};

TEST_F(ArchiveCleanup, WithoutAYearDirectoryNothingHappens) {
    MakeFile(Logs("app.log"));
    MakeFile(Logs("logfiles-x"));
    MakeFiles(Logs("other/01/2020-01-01"), 3);
    MakeFiles(Logs("2020/01/2020-01-01"), 3);
    Prune();
    EXPECT_EQ(CountEntries(Logs()), 4);
    EXPECT_TRUE(Exists(Logs("logfiles-x")));
    EXPECT_EQ(CountEntries(Logs("other/01/2020-01-01")), 3);
    EXPECT_EQ(CountEntries(Logs("2020/01/2020-01-01")), 3);
}

TEST_F(ArchiveCleanup, BadDirectoriesAreHarmless) {
    EXPECT_TRUE(PruneOldestArchive(nullptr, June15(), DiskUse{}).entries.empty());
    platform::HeldDirectoryPtr root(platform::DirectoryHold(root_.Str().c_str()));
    StringBuffer name;
    EXPECT_EQ(FindOldestSubdirectory(nullptr, "", name, true, nullptr), nullptr);
    EXPECT_EQ(FindOldestSubdirectory(root.get(), nullptr, name, true, nullptr), nullptr);
    const char* const names[] = {nullptr, "missing", "", ".", "..", "a/b", "../x"};
    for (const char* bad : names) {
        EXPECT_FALSE(DeleteTree(nullptr, bad, kOlderFileLimit, nullptr));
        EXPECT_FALSE(DeleteTree(root.get(), bad, kOlderFileLimit, nullptr));
    }
    EXPECT_TRUE(Exists(root_.Path()));
}

// One entry per folder that lost files, in the order deleted: loose files
// of a month, then the day, which goes whole; every plain file counts,
// whatever its name, a compressed archive file too.
TEST_F(ArchiveCleanup, ThePruneReportsWhatWentWhereAndWhy) {
    MakeFile(Logs("logfiles-2020/01/stray"), "12345");
    MakeFile(Logs("logfiles-2020/01/2020-01-01/app.log.20200101-000000-000Z"), "123");
    MakeFile(Logs("logfiles-2020/01/2020-01-01/app.log.20200101-000001-000Z.gz"), "1234567");
    MakeFile(Logs("logfiles-2020/01/2020-01-01/nested/x"), "1");
    const PruneReport report = Prune();
    EXPECT_EQ(report.reason, PruneReason::kDisk);
    EXPECT_EQ(report.disk.usedPerMille, 910);
    EXPECT_EQ(report.disk.limitPerMille, 900);
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[0].path, "logfiles-2020/01");
    EXPECT_EQ(report.entries[0].files, 1);
    EXPECT_EQ(report.entries[0].bytes, 5);
    EXPECT_FALSE(report.entries[0].removed);
    EXPECT_EQ(report.entries[1].path, "logfiles-2020/01/2020-01-01");
    EXPECT_EQ(report.entries[1].files, 3);
    EXPECT_EQ(report.entries[1].bytes, 11);
    EXPECT_TRUE(report.entries[1].removed);
    EXPECT_FALSE(Exists(Logs("logfiles-2020/01/2020-01-01")));
    EXPECT_EQ(report.Files(), 4);
}

TEST_F(ArchiveCleanup, EarlierCreatedYearIsPrunedWhateverItsName) {
    MakeFiles(Logs("logfiles-2030/01/2030-01-01"), 2);
    After("logfiles-2030");
    MakeFiles(Logs("logfiles-2010/01/2010-01-01"), 2);
    MakeFile(Logs("logfiles-x"));
    Prune();
    EXPECT_FALSE(Exists(Logs("logfiles-2030/01/2030-01-01")));
    EXPECT_TRUE(Exists(Logs("logfiles-2030/01")));
    EXPECT_EQ(CountEntries(Logs("logfiles-2010/01/2010-01-01")), 2);
    EXPECT_TRUE(Exists(Logs("logfiles-x"))) << "a file at the year level is never deleted";
}

TEST_F(ArchiveCleanup, AmongEqualCreationTimesTheLaterEnumeratedWins) {
    // Equal times cannot be forced; directories made in quick succession
    // share a clock tick on most systems.
    const std::string parent = root_.Str();
    for (int attempt = 0; attempt < 50; ++attempt) {
        const std::string names[] = {"d1", "d2", "d3"};
        for (const std::string& n : names) {
            MakeDir(root_.Path() / n);
        }
        // The expectation, from the enumeration itself.
        std::vector<platform::DirEntry> dirs;
        platform::DirEntry entry;
        platform::DirSearch* search = platform::DirFindFirst(parent.c_str(), "d", &entry);
        ASSERT_NE(search, nullptr);
        do {
            dirs.push_back(entry);
        } while (platform::DirFindNext(search, &entry));
        platform::DirFindClose(search);
        ASSERT_EQ(dirs.size(), 3u);
        const platform::DirEntry* oldest = &dirs[0];
        int tied = 0;
        for (const platform::DirEntry& d : dirs) {
            if (d.createTime < oldest->createTime) {
                oldest = &d;
                tied = 0;
            } else if (d.createTime == oldest->createTime && &d != &dirs[0]) {
                oldest = &d;
                ++tied;
            }
        }
        if (tied > 0) {
            StringBuffer name;
            platform::HeldDirectoryPtr held(platform::DirectoryHold(parent.c_str()));
            const char* found = FindOldestSubdirectory(held.get(), "d", name, false, nullptr);
            ASSERT_NE(found, nullptr);
            EXPECT_STREQ(found, oldest->name);
            return;
        }
        for (const std::string& n : names) {
            fs::remove(root_.Path() / n);
        }
    }
    GTEST_SKIP() << "no two directories got the same creation time";
}

TEST_F(ArchiveCleanup, LooseFilesAreDeletedWhileSearching) {
    MakeFiles(Logs("logfiles-2020"), 3);
    MakeReadOnly(Logs("logfiles-2020/f0.log"));
    MakeFiles(Logs("logfiles-2020/01"), 3);
    MakeFiles(Logs("logfiles-2020/01/2020-01-01"), 2);
    Prune();
    EXPECT_EQ(CountEntries(Logs("logfiles-2020")), 1) << "only the month is left";
    EXPECT_EQ(CountEntries(Logs("logfiles-2020/01")), 0) << "loose files and the day are gone";
}

TEST_F(ArchiveCleanup, YearWithOnlyLooseFilesIsRemoved) {
    MakeFiles(Logs("logfiles-2020"), 3);
    MakeReadOnly(Logs("logfiles-2020/f1.log"));
    Prune();
    EXPECT_FALSE(Exists(Logs("logfiles-2020")));
}

TEST_F(ArchiveCleanup, EmptyMonthIsRemovedThenTheNextMonthPruned) {
    MakeFiles(Logs("logfiles-2020/01"), 2);  // loose files, no day
    After("logfiles-2020/01");
    MakeFiles(Logs("logfiles-2020/02/2020-02-01"), 2);
    Prune();
    EXPECT_FALSE(Exists(Logs("logfiles-2020/01")));
    EXPECT_EQ(CountEntries(Logs("logfiles-2020/02/2020-02-01")), 2);
    Prune();
    EXPECT_FALSE(Exists(Logs("logfiles-2020/02/2020-02-01")));
    Prune();
    Prune();
    EXPECT_FALSE(Exists(Logs("logfiles-2020"))) << "emptied month and year go in later calls";
}

TEST_F(ArchiveCleanup, AnOlderDayLoses201FilesPerCall) {
    MakeFiles(Logs("logfiles-2021/06/2021-06-14"), 500);
    const int left[] = {299, 98};
    for (int expected : left) {
        Prune();
        EXPECT_EQ(CountEntries(Logs("logfiles-2021/06/2021-06-14")), expected);
    }
    Prune();
    EXPECT_FALSE(Exists(Logs("logfiles-2021/06/2021-06-14")));
    EXPECT_TRUE(Exists(Logs("logfiles-2021/06")));
}

TEST_F(ArchiveCleanup, TodaysDirectoryLoses21FilesPerCall) {
    MakeFiles(Logs("logfiles-2021/06/2021-06-15"), 50);
    Prune();
    EXPECT_EQ(CountEntries(Logs("logfiles-2021/06/2021-06-15")), 29);
    Prune(June15() + 86400);  // a day later the same directory is an older one
    EXPECT_FALSE(Exists(Logs("logfiles-2021/06/2021-06-15")));
}

TEST_F(ArchiveCleanup, ReadOnlyFilesAndNestedDirectoriesGoInOneCall) {
    const fs::path day = Logs("logfiles-2020/01/2020-01-01");
    MakeFiles(day, 5);
    MakeReadOnly(day / "f2.log");
    MakeFiles(day / "sub/deeper/deepest", 3);
    MakeFiles(day / "sub/deeper", 2);
    MakeFiles(day / "readonly", 2);
    MakeReadOnly(day / "readonly/f0.log");
    MakeReadOnly(day / "readonly");
    Prune();
    EXPECT_FALSE(Exists(day));
}

TEST(DeleteTree, DeletesOneFileMoreThanTheLimit) {
    TempDir root;
    MakeFiles(root.Path() / "d", 10);
    platform::HeldDirectoryPtr held(platform::DirectoryHold(root.Str().c_str()));
    PrunedEntry deleted;
    EXPECT_FALSE(DeleteTree(held.get(), "d", 3, &deleted));
    EXPECT_EQ(CountEntries(root.Path() / "d"), 6);
    EXPECT_EQ(deleted.files, 4);
    EXPECT_TRUE(DeleteTree(held.get(), "d", 5, &deleted));
    EXPECT_FALSE(Exists(root.Path() / "d"));
    EXPECT_EQ(deleted.files, 10);
}

// The archive tree is open to other users: links in it must never lead the
// cleanup outside.
class ArchiveLinks : public ArchiveCleanup {
  protected:
    void SetUp() override {
        MakeFile(outside_.Path() / "canary");
        MakeFiles(outside_.Path() / "01/2000-01-01", 3);
    }
    void ExpectOutsideIntact() {
        EXPECT_TRUE(Exists(outside_.Path() / "canary"));
        EXPECT_EQ(CountEntries(outside_.Path() / "01/2000-01-01"), 3);
    }
    TempDir outside_;
};

TEST_F(ArchiveLinks, LinkInsideADayIsDeletedNotFollowed) {
    const fs::path day = Logs("logfiles-2020/01/2020-01-01");
    MakeFiles(day, 3);
    if (!MakeLink(outside_.Path(), day / "escape", true) ||
        !MakeLink(outside_.Path() / "canary", day / "file-link", false)) {
        GTEST_SKIP() << "symbolic links cannot be created here";
    }
    MakeFiles(day / "nested", 1);
    MakeLink(outside_.Path() / "01", day / "nested/escape", true);
    Prune();
    EXPECT_FALSE(Exists(day));
    ExpectOutsideIntact();
}

TEST_F(ArchiveLinks, LinkedYearIsNeverChosen) {
    // The link is made first, so it is the oldest "year".
    MakeDir(Logs());
    if (!MakeLink(outside_.Path(), Logs("logfiles-1999"), true)) {
        GTEST_SKIP() << "symbolic links cannot be created here";
    }
    After("logfiles-1999");
    MakeFiles(Logs("logfiles-2020/01/2020-01-01"), 2);
    for (int call = 0; call < 5; ++call) {
        Prune();
    }
    EXPECT_FALSE(Exists(Logs("logfiles-2020")));
    EXPECT_TRUE(Exists(Logs("logfiles-1999"))) << "a link at the year level is left alone";
    ExpectOutsideIntact();
}

TEST_F(ArchiveLinks, LinkedMonthOrDayIsDeletedNotChosen) {
    MakeDir(Logs("logfiles-2020"));
    if (!MakeLink(outside_.Path(), Logs("logfiles-2020/00"), true)) {
        GTEST_SKIP() << "symbolic links cannot be created here";
    }
    MakeDir(Logs("logfiles-2020/01"));
    MakeLink(outside_.Path() / "01", Logs("logfiles-2020/01/2020-01-00"), true);
    After("logfiles-2020/01");
    MakeFiles(Logs("logfiles-2020/01/2020-01-01"), 2);
    Prune();
    EXPECT_FALSE(Exists(Logs("logfiles-2020/00")));
    EXPECT_FALSE(Exists(Logs("logfiles-2020/01/2020-01-00")));
    EXPECT_FALSE(Exists(Logs("logfiles-2020/01/2020-01-01")));
    ExpectOutsideIntact();
}

TEST_F(ArchiveLinks, NamesWithBackslashesArePrunedWithoutReachingOutside) {
    // Where '\' is an ordinary character, these names would read as paths
    // to logs/canary once the separators are turned around.
    const fs::path day = Logs("logfiles-2020/01/2020-01-01");
    MakeFiles(day, 2);
    MakeFile(Logs("canary"));
    MakeFile(day / "..\\..\\..\\canary");
    if (CountEntries(day) != 3) {
        GTEST_SKIP() << "'\\' separates path components here";
    }
    MakeFile(day / "a\\b");
    MakeFiles(day / "nested" / "..\\..\\x", 2);
    // Such names at the month and day levels are folders like any other,
    // pruned in their turn, so that they never keep the oldest year.
    MakeFiles(Logs("logfiles-2020/01/..\\2020-01-01"), 1);
    MakeFiles(Logs("logfiles-2020/..\\01"), 1);
    After("logfiles-2020");
    MakeFiles(Logs("logfiles-2021/01/2021-01-01"), 1);
    // The two days, the month, the other month, then the year.
    for (int call = 0; call < 5; ++call) {
        Prune();
    }
    EXPECT_TRUE(Exists(Logs("canary")));
    EXPECT_FALSE(Exists(Logs("logfiles-2020")));
    EXPECT_TRUE(Exists(Logs("logfiles-2021/01/2021-01-01/f0.log")));
    ExpectOutsideIntact();
}

}  // namespace
}  // namespace vosk
