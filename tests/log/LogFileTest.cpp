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
        return probe.Choose(dir.Str().c_str(), name, now, limit, path);
    }
    void Fill(const std::string& name, int32_t size) {
        MakeFile(dir.Path() / name, std::string(static_cast<size_t>(size), 'n'));
    }

    TempDir dir;
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
        EXPECT_EQ(fresh.Choose(dir.Str().c_str(), "app", At(c.hour, c.minute), kLimit, path), 0);
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

}  // namespace
}  // namespace vosk
