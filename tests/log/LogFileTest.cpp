#include "log/LogFile.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "support/FakeClock.h"
#include "support/FileTree.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::FakeClock;
using test::MakeDir;
using test::MakeFile;
using test::ReadBytes;
using test::TempDir;

std::tm At(int hour, int minute) {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

// The probe is a function of the names on disk and of its own sequence, so
// a few files of a few bytes, measured against a small limit, stand for
// full and nearly full numbered files.
class NumberedNameProbeTest : public ::testing::Test {
  protected:
    static constexpr int32_t kLimit = 4;

    int32_t Choose(const std::tm& now, const char* name = "app", int32_t limit = kLimit) {
        return probe.Choose(Held(), name, now, limit, path);
    }
    void Fill(const std::string& name, int32_t size) {
        MakeFile(dir.Path() / name, std::string(static_cast<size_t>(size), 'n'));
    }

    const platform::HeldDirectory* Held() {
        held.Hold(dir.Str().c_str());
        return held.Get();
    }

    TempDir dir;
    LogDirectory held;
    NumberedNameProbe probe;
    StringBuffer path;
};

TEST_F(NumberedNameProbeTest, NameIsHourAndQuarterOfTheOpen) {
    struct Case {
        int hour;
        int minute;
        const char* expected;
    };
    const Case cases[] = {
        {10, 31, "app_1003[001].log"}, {0, 0, "app_0001[001].log"},   {9, 15, "app_0902[001].log"},
        {14, 44, "app_1403[001].log"}, {23, 59, "app_2304[001].log"},
    };
    for (const Case& c : cases) {
        NumberedNameProbe fresh;
        EXPECT_EQ(fresh.Choose(Held(), "app", At(c.hour, c.minute), kLimit, path), 0);
        EXPECT_STREQ(fresh.LastName(), c.expected) << c.hour << ":" << c.minute;
    }
    EXPECT_EQ(test::CountEntries(dir.Path()), 0) << "a probe creates no file";
}

TEST_F(NumberedNameProbeTest, FullFilesArePassedOverAndTheChosenOnesSizeStartsTheCount) {
    Fill("app_1003[001].log", kLimit);
    Fill("app_1003[002].log", kLimit + 2);
    Fill("app_1003[003].log", kLimit - 1);
    EXPECT_EQ(Choose(At(10, 31)), kLimit - 1);
    EXPECT_STREQ(probe.LastName(), "app_1003[003].log");
    EXPECT_EQ(fs::file_size(dir.Path() / "app_1003[003].log"), static_cast<uintmax_t>(kLimit - 1));
    EXPECT_FALSE(test::Exists(dir.Path() / "app_1003[004].log"));
}

TEST_F(NumberedNameProbeTest, TheSequenceGoesOnUntilRestarted) {
    EXPECT_EQ(Choose(At(10, 31)), 0);
    EXPECT_STREQ(probe.LastName(), "app_1003[001].log");
    EXPECT_EQ(Choose(At(10, 31)), 0);
    EXPECT_STREQ(probe.LastName(), "app_1003[002].log");
    // Restarted, the sequence passes over the name chosen last only.
    probe.Restart();
    EXPECT_EQ(Choose(At(10, 31)), 0);
    EXPECT_STREQ(probe.LastName(), "app_1003[001].log");
    probe.Restart();
    EXPECT_EQ(Choose(At(10, 31)), 0);
    EXPECT_STREQ(probe.LastName(), "app_1003[002].log");
    // In another quarter the name chosen last is another name.
    probe.Restart();
    EXPECT_EQ(Choose(At(10, 45)), 0);
    EXPECT_STREQ(probe.LastName(), "app_1004[001].log");
}

TEST_F(NumberedNameProbeTest, WhenEveryNameIsFullNoneIsChosenAndTheCountStartsAtZero) {
    Choose(At(10, 31));
    // Every file, absent ones included, holds at least 0 bytes.
    probe.Restart();
    EXPECT_EQ(Choose(At(10, 31), "app", 0), 0);
    EXPECT_STREQ(probe.LastName(), "app_1003[001].log");
    // The probe stopped after kProbes numbers, [001] to [1000]; numbers
    // above 999 take more digits.
    EXPECT_EQ(Choose(At(10, 31)), 0);
    EXPECT_STREQ(probe.LastName(), "app_1003[1001].log");
}

TEST_F(NumberedNameProbeTest, ANameWithPathPartsIsProbedBeneathTheDirectory) {
    Fill("sub/app_1003[001].log", kLimit);
    Fill("sub/app_1003[002].log", 1);
    EXPECT_EQ(Choose(At(10, 31), "sub/app"), 1);
    EXPECT_STREQ(probe.LastName(), "sub/app_1003[002].log");
    probe.Restart();
    // [001] is full and [002] was chosen last.
    EXPECT_EQ(Choose(At(10, 31), "sub/app"), 0);
    EXPECT_STREQ(probe.LastName(), "sub/app_1003[003].log");
}

class LogFileTest : public ::testing::Test {
  protected:
    static constexpr int32_t kLimit = 100;

    void Open() { file.Open(dir.Str().c_str(), "app.log", At(10, 31), kLimit); }
    void Append(const std::string& text) {
        file.AddCount(file.Stream().Write(text.c_str(), static_cast<int32_t>(text.size())));
        file.Stream().Sync();
    }
    std::string Content(const std::string& name = "app.log") {
        return ReadBytes(dir.Path() / name);
    }

    TempDir dir;
    FakeClock clock;
    LogFile file{&clock};
};

TEST_F(LogFileTest, OpenMovesAnEarlierFileToTheBackupAndStartsAfresh) {
    MakeFile(dir.Path() / "app.log", "earlier");
    MakeFile(dir.Path() / "app.log.bak", "older");
    Open();
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Written(), 0);
    EXPECT_FALSE(file.BackupWaiting());
    Append("abc");
    EXPECT_EQ(file.Written(), 3);
    EXPECT_EQ(Content(), "abc");
    EXPECT_EQ(Content("app.log.bak"), "earlier");
    // The next open moves it again.
    Open();
    EXPECT_EQ(Content("app.log.bak"), "abc");
    EXPECT_EQ(Content(), "");
}

TEST_F(LogFileTest, TheCountStartsAtTheNumberedFilesSize) {
    MakeFile(dir.Path() / "app.log_1003[001].log", "12345");
    Open();
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Written(), 5);
    EXPECT_EQ(Content(), "") << "the numbered file is only measured";
}

TEST_F(LogFileTest, ABlockedBackupContinuesTheFileAndWaitsBeforeTheNextTry) {
    MakeFile(dir.Path() / "app.log", "earlier");
    MakeDir(dir.Path() / "app.log.bak" / "inside");
    Open();
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Written(), 7) << "the count goes on from the file's size";
    Append("+");
    EXPECT_EQ(Content(), "earlier+");
    EXPECT_TRUE(file.BackupWaiting());
    clock.AdvanceMonotonic(LogFile::kBackupRetryMs - 1);
    EXPECT_TRUE(file.BackupWaiting());
    clock.AdvanceMonotonic(1);
    EXPECT_FALSE(file.BackupWaiting());
}

TEST_F(LogFileTest, AnotherKindOfEntryAtThePathIsLeftAloneAndTheCountReadsFull) {
    MakeDir(dir.Path() / "app.log");
    Open();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Written(), kLimit);
    EXPECT_TRUE(fs::is_directory(dir.Path() / "app.log"));
    EXPECT_FALSE(test::Exists(dir.Path() / "app.log.bak"));
}

TEST_F(LogFileTest, PrepareOpenMakesTheDirectoriesAndMarksTheFileFull) {
    Open();
    Append("abc");
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    file.PrepareOpen(dir.Str("a/b").c_str(), kLimit);
    EXPECT_TRUE(fs::is_directory(dir.Path() / "a" / "b"));
    EXPECT_EQ(file.Written(), kLimit);
    EXPECT_EQ(Content(), "abc");
}

TEST_F(LogFileTest, CloseWritesWhatIsPendingAndCloseDiscardingDropsIt) {
    Open();
    file.Stream().Write("kept", 4);
    file.Close();
    EXPECT_EQ(Content(), "kept");
    Open();
    file.Stream().Write("dropped", 7);
    file.CloseDiscarding();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(Content(), "");
}

TEST_F(LogFileTest, AMovedFileIsReplacedAndTheCountGoesOnFromTheFileFoundThere) {
    Open();
    EXPECT_EQ(file.OpenIfMoved(dir.Str().c_str(), "app.log"), FileStream::kNoDescriptor)
        << "still in place";
    file.Stream().Write("pending", 7);
    std::error_code ec;
    fs::rename(dir.Path() / "app.log", dir.Path() / "app.log.1", ec);
    ASSERT_FALSE(ec) << "the open file could not be moved: " << ec.message();
    MakeFile(dir.Path() / "app.log", "found");
    int reopened = file.OpenIfMoved(dir.Str().c_str(), "app.log");
    ASSERT_NE(reopened, FileStream::kNoDescriptor);
    file.ReplaceWith(reopened);
    EXPECT_EQ(Content("app.log.1"), "pending") << "the old file gets what was pending";
    EXPECT_EQ(file.Written(), 5);
    Append("+");
    EXPECT_EQ(Content(), "found+");
}

// Links on the path of the log's directory are followed when the file is
// first opened, and never afterwards: a link that replaces the directory
// later leads no write, move or truncation outside it.
class LogFileDirectoryTest : public LogFileTest {
  protected:
    // A link at path to target; false where links cannot be made.
    static bool Link(const fs::path& target, const fs::path& path) {
        std::error_code ec;
        fs::create_directory_symlink(target, path, ec);
        return !ec;
    }
    void OpenIn(const fs::path& directory) {
        file.Open(directory.string().c_str(), "app.log", At(10, 31), kLimit);
    }
    int ReopenPass(const fs::path& directory) {
        int reopened = file.OpenIfMoved(directory.string().c_str(), "app.log");
        if (reopened != FileStream::kNoDescriptor) {
            file.ReplaceWith(reopened);
        }
        return reopened;
    }
};

TEST_F(LogFileDirectoryTest, ALinkedLogFolderIsFollowedAtTheFirstOpen) {
    MakeDir(dir.Path() / "real");
    if (!Link(dir.Path() / "real", dir.Path() / "logs")) {
        GTEST_SKIP() << "no directory links here";
    }
    OpenIn(dir.Path() / "logs");
    Append("abc");
    EXPECT_EQ(Content("real/app.log"), "abc");
    EXPECT_EQ(ReopenPass(dir.Path() / "logs"), FileStream::kNoDescriptor) << "still in place";
}

TEST_F(LogFileDirectoryTest, ALinkPutInPlaceOfTheDirectoryIsNeverFollowed) {
    MakeFile(dir.Path() / "outside" / "app.log", "outside");
    OpenIn(dir.Path() / "logs");
    Append("first");
    std::error_code ec;
    fs::rename(dir.Path() / "logs", dir.Path() / "aside", ec);
    if (ec || !Link(dir.Path() / "outside", dir.Path() / "logs")) {
        GTEST_SKIP() << "the open directory cannot be moved or linked here";
    }
    // The reopen pass finds the directory gone, but a link where it was.
    EXPECT_EQ(ReopenPass(dir.Path() / "logs"), FileStream::kNoDescriptor);
    Append("+");
    // A rotation moves and opens in the directory held, wherever it is.
    OpenIn(dir.Path() / "logs");
    Append("second");
    EXPECT_EQ(Content("aside/app.log.bak"), "first+");
    EXPECT_EQ(Content("aside/app.log"), "second");
    EXPECT_EQ(Content("outside/app.log"), "outside");
    EXPECT_EQ(test::CountEntries(dir.Path() / "outside"), 1);
}

TEST_F(LogFileDirectoryTest, AVanishedDirectoryIsMadeAgainByTheReopenPass) {
    OpenIn(dir.Path() / "a" / "logs");
    Append("gone");
    // One entry at a time: where an open file keeps its name until it is
    // closed (Windows), its directory cannot go.
    for (const char* path : {"a/logs/app.log", "a/logs", "a"}) {
        std::error_code ec;
        if (!fs::remove(dir.Path() / path, ec) || test::Exists(dir.Path() / path)) {
            GTEST_SKIP() << "an open file's directory cannot be removed here";
        }
    }
    EXPECT_NE(ReopenPass(dir.Path() / "a" / "logs"), FileStream::kNoDescriptor);
    Append("again");
    EXPECT_EQ(Content("a/logs/app.log"), "again");
}

// The walk that makes it again only passes through the directories on the
// way (it needs no right to list them), and still never through a link.
TEST_F(LogFileDirectoryTest, ALinkOnTheWayOfAVanishedDirectoryIsNeverFollowed) {
    MakeDir(dir.Path() / "outside");
    OpenIn(dir.Path() / "a" / "b" / "logs");
    Append("gone");
    for (const char* path : {"a/b/logs/app.log", "a/b/logs", "a/b"}) {
        std::error_code ec;
        if (!fs::remove(dir.Path() / path, ec) || test::Exists(dir.Path() / path)) {
            GTEST_SKIP() << "an open file's directory cannot be removed here";
        }
    }
    if (!Link(dir.Path() / "outside", dir.Path() / "a" / "b")) {
        GTEST_SKIP() << "no directory links here";
    }
    EXPECT_EQ(ReopenPass(dir.Path() / "a" / "b" / "logs"), FileStream::kNoDescriptor);
    Append("+");
    EXPECT_EQ(test::CountEntries(dir.Path() / "outside"), 0) << "nothing made through the link";
}

}  // namespace
}  // namespace vosk
