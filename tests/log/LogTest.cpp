#include "log/Log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Module.h"
#include "platform/Time.h"
#include "support/FakeClock.h"
#include "support/FileTree.h"
#include "support/LogCalls.h"
#include "support/LogTestPeer.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::FakeClock;
using test::OnDisk;
using test::ReadBytes;
using test::TempDir;
using test::Trace;
using test::WriteBytes;

void RecordAt(Log& log, const platform::LocalTime& stamp, int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    log.WriteRecordAt(platform::ZonedTime{stamp, 0}, level, format, args);
    va_end(args);
}

std::string StampText(const platform::LocalTime& t) {
    char text[64];
    snprintf(text, sizeof(text), "[%4d-%02d-%02d %02d:%02d:%02d.%03d] ", t.year, t.month, t.day,
             t.hour, t.minute, t.second, t.milliseconds);
    return text;
}

// Characters of one record made of the stamp, n letters and the line feed.
constexpr int32_t kStampLength = 26;

class LogTest : public ::testing::Test {
  protected:
    // A log set up the way the library's creator does it.
    std::unique_ptr<Log> MakeLog(const std::string& directory, const char* name = "app.log",
                                 int32_t level = 5, int32_t limit = 0) {
        auto log = std::make_unique<Log>(&clock);
        log->SetDirectory(directory.c_str());
        log->SetSizeLimit(limit);
        log->SetNameAndLevel(name, level);
        return log;
    }
    std::string Content(const std::string& name = "app.log") {
        return ReadBytes(dir.Path() / name);
    }
    bool Exists(const std::string& name) { return fs::exists(dir.Path() / name); }

    TempDir dir;
    FakeClock clock;
};

TEST_F(LogTest, RecordIsStampMessageAndLineFeedWrittenThrough) {
    auto log = MakeLog(dir.Str());
    clock.Set(2024, 3, 5, 7, 8, 9, 45);
    Trace(*log, 3, "x=%d", 5);
    // Read while the log is still open: the record is already in the file.
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 07:08:09.045] x=5\n"));
    Trace(*log, 3, "%s", "second");
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 07:08:09.045] x=5\n"
                                "[2024-03-05 07:08:09.045] second\n"));
}

TEST_F(LogTest, LineEndsAreAddedOnlyWhenMissing) {
    struct Case {
        const char* message;
        const char* line;
    };
    const Case cases[] = {
        {"ends\n", "ends\n"},
        {"", "\n"},
        {"first\nsecond", "first\nsecond\n"},  // continuation lines carry no stamp
        {"a\n\n", "a\n\n"},
    };
    auto log = MakeLog(dir.Str());
    std::string expected;
    for (const Case& c : cases) {
        Trace(*log, 0, "%s", c.message);
        expected += "[2024-03-05 10:00:00.000] " + std::string(c.line);
    }
    EXPECT_EQ(Content(), OnDisk(expected));
}

TEST_F(LogTest, StampFieldsArePaddedLikePrintf) {
    const platform::LocalTime stamps[] = {
        test::MakeLocalTime(2024, 12, 31, 23, 59, 59, 999),
        test::MakeLocalTime(999, 1, 2, 3, 4, 5, 6),
        test::MakeLocalTime(7, 1, 1, 0, 0, 0, 0),
        test::MakeLocalTime(12345, 10, 10, 10, 10, 10, 100),
        test::MakeLocalTime(65535, 65535, 65535, 65535, 65535, 65535, 65535),
    };
    auto log = MakeLog(dir.Str());
    std::string expected;
    for (const auto& stamp : stamps) {
        clock.HoldStamp(stamp);
        Trace(*log, 0, "m");
        expected += StampText(stamp) + "m\n";
    }
    EXPECT_EQ(Content(), OnDisk(expected));
}

TEST_F(LogTest, WriteRecordAtUsesTheGivenStamp) {
    auto log = MakeLog(dir.Str());
    platform::LocalTime stamp = test::MakeLocalTime(2001, 2, 3, 4, 5, 6, 7);
    RecordAt(*log, stamp, 5, "plain %d", 1);
    RecordAt(*log, stamp, 6, "dropped");
    RecordAt(*log, stamp, 0, nullptr);
    EXPECT_EQ(Content(), OnDisk("[2001-02-03 04:05:06.007] plain 1\n"));
}

TEST_F(LogTest, LevelFilterComparesSignedAndReadsNoClockForDroppedRecords) {
    struct Case {
        int32_t threshold;
        int32_t level;
        bool written;
    };
    const Case cases[] = {
        {5, 5, true},
        {5, 6, false},
        {5, -100, true},
        {-3, -4, true},
        {-3, -2, false},
        {INT32_MIN, INT32_MIN, true},
        {INT32_MAX, INT32_MAX, true},
        {0, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.threshold) + " " + std::to_string(c.level));
        TempDir logDir;
        clock.Set(2024, 3, 5, 10, 0, 0);
        auto log = MakeLog(logDir.Str(), "app.log", c.threshold);
        clock.Advance(5);
        int stamps = clock.stampReads;
        int times = clock.timeReads;
        Trace(*log, c.level, "r");
        time_t last = log->GetDirectory().lastWrite;
        if (c.written) {
            EXPECT_EQ(ReadBytes(logDir.Path() / "app.log"),
                      OnDisk("[2024-03-05 10:00:05.000] r\n"));
            EXPECT_EQ(last, clock.Time());
        } else {
            EXPECT_FALSE(fs::exists(logDir.Path() / "app.log"));
            EXPECT_EQ(clock.stampReads, stamps);
            EXPECT_EQ(clock.timeReads, times);
            EXPECT_EQ(last, clock.Time() - 5);  // still the construction time
        }
    }
}

TEST_F(LogTest, SetLevelMovesTheThreshold) {
    auto log = MakeLog(dir.Str(), "app.log", 1);
    Trace(*log, 2, "before");
    log->SetLevel(2);
    Trace(*log, 2, "after");
    log->SetLevel(-1);
    Trace(*log, 0, "dropped");
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 10:00:00.000] after\n"));
}

TEST_F(LogTest, NullFormatAndNullTextChangeNothing) {
    auto log = MakeLog(dir.Str());
    clock.Advance(100);
    Trace(*log, 0, nullptr);
    log->WriteRaw(nullptr);
    log->Flush();
    EXPECT_EQ(log->GetDirectory().lastWrite, clock.Time() - 100);
    EXPECT_FALSE(Exists("app.log"));
    Trace(*log, 0, "ok");
    Trace(*log, 0, nullptr);
    log->WriteRaw(nullptr);
    log->Flush();
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 10:01:40.000] ok\n"));
}

TEST_F(LogTest, RawTextIsIndentedAndWaitsForTheNextSync) {
    auto log = MakeLog(dir.Str());
    log->WriteRaw("lost");  // no file yet: dropped at the first record's open
    Trace(*log, 0, "one");
    const std::string first = OnDisk("[2024-03-05 10:00:00.000] one\n");
    log->WriteRaw("abc");
    EXPECT_EQ(Content(), first);
    log->Flush();
    EXPECT_EQ(Content(), first + std::string(25, ' ') + "abc");
    log->WriteRaw("x\ny");  // no line end of its own, and none added
    Trace(*log, 0, "two");
    EXPECT_EQ(Content(), first + std::string(25, ' ') + "abc" + std::string(25, ' ') +
                             OnDisk("x\ny[2024-03-05 10:00:00.000] two\n"));
}

TEST_F(LogTest, DataIsWrittenAsItStandsAndWrittenThrough) {
    struct Case {
        std::string data;
        std::string line;
    };
    const std::string nul("a\0b", 3);
    const std::string invalidUtf8 = "\xff\xfe\xc3(\xed\xa0\x80";
    const Case cases[] = {
        {"%s%n%d%%%", "%s%n%d%%%\n"},  // never a format
        {nul, nul + "\n"},
        {invalidUtf8, invalidUtf8 + "\n"},
        {"", "\n"},
        {"ends\n", "ends\n"},
        {std::string(20000, 'L'), std::string(20000, 'L') + "\n"},  // beyond the stream's buffer
    };
    auto log = MakeLog(dir.Str());
    std::string expected;
    for (const Case& c : cases) {
        log->WriteData(0, c.data.data(), c.data.size());
        expected += "[2024-03-05 10:00:00.000] " + c.line;
        EXPECT_EQ(Content(), OnDisk(expected));  // in the file before the call returned
    }
}

TEST_F(LogTest, DataFollowsTheThresholdAndRawDataTakesTheIndent) {
    auto log = MakeLog(dir.Str(), "app.log", 2);
    log->WriteData(3, "dropped", 7);
    EXPECT_FALSE(Exists("app.log"));
    // Unlike WriteRaw, raw data opens the file and is written through.
    log->WriteData(2, "raw", 3, true);
    log->WriteData(-1, "kept", 4);
    EXPECT_EQ(Content(), std::string(25, ' ') + OnDisk("raw\n[2024-03-05 10:00:00.000] kept\n"));
    log->WriteData(0, nullptr, 0);
    log->WriteData(0, nullptr, 5);  // nothing to read: nothing written
    EXPECT_EQ(Content(), std::string(25, ' ') + OnDisk("raw\n[2024-03-05 10:00:00.000] kept\n"
                                                       "[2024-03-05 10:00:00.000] \n"));
}

TEST_F(LogTest, AContinuedPieceMarksTheLastCharacterOfItsHead) {
    auto log = MakeLog(dir.Str());
    log->WriteData(0, "first", 5);
    log->WriteData(0, "+next", 5, false, true);
    log->WriteData(0, "raw", 3, true);
    log->WriteData(0, "more", 4, true, true);
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 10:00:00.000] first\n"
                                "[2024-03-05 10:00:00.000]++next\n") +
                             std::string(25, ' ') + OnDisk("raw\n") + std::string(24, ' ') +
                             OnDisk("+more\n"));
}

TEST_F(LogTest, DataRotatesAtTheSizeLimit) {
    for (bool raw : {false, true}) {
        SCOPED_TRACE(raw);
        TempDir logDir;
        auto log = MakeLog(logDir.Str());
        const std::string big(Log::kMinimumSizeLimit, 'd');
        log->WriteData(0, big.data(), big.size(), raw);
        log->WriteData(0, "next", 4, raw);
        const std::string head = raw ? std::string(25, ' ') : "[2024-03-05 10:00:00.000] ";
        EXPECT_EQ(ReadBytes(logDir.Path() / "app.log.bak"), head + OnDisk(big + "\n"));
        EXPECT_EQ(ReadBytes(logDir.Path() / "app.log"), head + OnDisk("next\n"));
    }
}

// A file that another program cut short (a rotation tool's copy and
// truncate, "> app.log") after it was full by the count: the next record
// goes on at its end, with no early rotation and no hole before it, found
// by the idle pass or by the size rule itself.
TEST_F(LogTest, AFileCutShortByAnotherProgramTakesTheNextRecordsAtItsEnd) {
    for (bool idlePass : {false, true}) {
        for (uintmax_t kept : {uintmax_t{0}, uintmax_t{5}}) {
            SCOPED_TRACE(std::string(idlePass ? "idle pass" : "size rule") + ", kept " +
                         std::to_string(kept));
            TempDir logDir;
            const fs::path file = logDir.Path() / "app.log";
            auto log = MakeLog(logDir.Str());
            const std::string big(Log::kMinimumSizeLimit, 'd');
            log->WriteData(0, big.data(), big.size(), true);
            fs::resize_file(file, kept);
            if (idlePass) {
                log->FollowTruncation();
            }
            Trace(*log, 0, "after");
            EXPECT_FALSE(fs::exists(logDir.Path() / "app.log.bak"));
            const std::string expected = ReadBytes(file).substr(0, kept);
            EXPECT_EQ(ReadBytes(file), expected + OnDisk("[2024-03-05 10:00:00.000] after\n"));
            EXPECT_EQ(expected.find('\0'), std::string::npos);
            // The count went on from the file's size: a record that fills
            // the rest of the limit still goes into this file, the next
            // one starts a new file.
            const std::string rest(Log::kMinimumSizeLimit - 40, 'r');
            log->WriteData(0, rest.data(), rest.size(), true);
            EXPECT_FALSE(fs::exists(logDir.Path() / "app.log.bak"));
            Trace(*log, 0, "full");
            EXPECT_TRUE(fs::exists(logDir.Path() / "app.log.bak"));
        }
    }
}

TEST_F(LogTest, DestructionWritesPendingTextAndLeavesNoFileWhenNeverOpened) {
    {
        auto log = MakeLog(dir.Str());
        Trace(*log, 0, "r");
        log->WriteRaw("tail");
    }
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 10:00:00.000] r\n") + std::string(25, ' ') + "tail");
    {
        auto log = MakeLog(dir.Str("never"));
        log->WriteRaw("pending");
    }
    EXPECT_FALSE(Exists("never"));
}

TEST_F(LogTest, FirstRecordBacksUpAnEarlierFile) {
    WriteBytes(dir.Path() / "app.log", "old run\n");
    WriteBytes(dir.Path() / "app.log.bak", "older run\n");
    auto log = MakeLog(dir.Str());
    EXPECT_EQ(Content(), "old run\n");  // nothing happens before the first record
    Trace(*log, 0, "new");
    EXPECT_EQ(Content("app.log.bak"), "old run\n");
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 10:00:00.000] new\n"));

    TempDir fresh;
    auto other = MakeLog(fresh.Str());
    Trace(*other, 0, "new");
    EXPECT_FALSE(fs::exists(fresh.Path() / "app.log.bak"));
}

TEST_F(LogTest, ABlockedBackupKeepsTheOldRecordsAndIsRetriedAfterASecond) {
    // A backup that cannot be removed or replaced (a non-empty directory in
    // its place) makes the move fail; the file must not be emptied.
    WriteBytes(dir.Path() / "app.log", std::string(Log::kMinimumSizeLimit - 10, 'o'));
    fs::create_directories(dir.Path() / "app.log.bak" / "inside");
    auto log = MakeLog(dir.Str());
    std::string expected(Log::kMinimumSizeLimit - 10, 'o');
    // The count starts at the file's size, so the file is full from the
    // first record on; the records go on into it, and the move is not
    // tried again within a second, even once it could succeed.
    const char* const appended[] = {"first", "second", "obstacle gone", "still waiting"};
    for (const char* message : appended) {
        if (std::string(message) == "obstacle gone") {
            fs::remove_all(dir.Path() / "app.log.bak");
        }
        if (std::string(message) == "still waiting") {
            clock.AdvanceMonotonic(LogFile::kBackupRetryMs - 1);
        }
        Trace(*log, 0, "%s", message);
        expected += OnDisk("[2024-03-05 10:00:00.000] " + std::string(message) + "\n");
        EXPECT_EQ(Content(), expected) << message;
    }
    EXPECT_FALSE(Exists("app.log.bak"));
    // A second after the failure the backup takes everything.
    clock.AdvanceMonotonic(1);
    Trace(*log, 0, "next");
    EXPECT_EQ(Content("app.log.bak"), expected);
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 10:00:00.000] next\n"));
}

// Another program reading the file: where the system lets it be moved
// (POSIX) the backup is made; where it does not (Windows, whose readers do
// not share deletion), the file and the old backup both stay and records
// go on into the file. Nothing is lost either way.
TEST_F(LogTest, AReaderHoldingTheFileLosesNothing) {
    const std::string old(Log::kMinimumSizeLimit, 'o');
    WriteBytes(dir.Path() / "app.log", old);
    WriteBytes(dir.Path() / "app.log.bak", "old backup");
    auto log = MakeLog(dir.Str());
    std::ifstream reader(dir.Path() / "app.log", std::ios::binary);
    ASSERT_TRUE(reader.is_open());
    Trace(*log, 0, "one");
    Trace(*log, 0, "two");
    const std::string records = OnDisk(
        "[2024-03-05 10:00:00.000] one\n"
        "[2024-03-05 10:00:00.000] two\n");
    if (Content("app.log.bak") == old) {
        EXPECT_EQ(Content(), records);  // moved: the reader keeps its file
    } else {
        EXPECT_EQ(Content("app.log.bak"), "old backup");
        EXPECT_EQ(Content(), old + records);
    }
}

TEST_F(LogTest, NewDayStartsANewFile) {
    clock.Set(2024, 3, 5, 23, 59, 58);
    auto log = MakeLog(dir.Str());
    Trace(*log, 0, "day one");
    clock.Advance(1);
    Trace(*log, 0, "still day one");
    const std::string dayOne =
        OnDisk("[2024-03-05 23:59:58.000] day one\n[2024-03-05 23:59:59.000] still day one\n");
    EXPECT_EQ(Content(), dayOne);
    EXPECT_FALSE(Exists("app.log.bak"));
    // The stamp is read before the day is decided: a record stamped before
    // midnight may open the next day's file.
    clock.HoldStamp(test::MakeLocalTime(2024, 3, 5, 23, 59, 59, 999));
    clock.Advance(1);
    Trace(*log, 0, "day two");
    EXPECT_EQ(Content("app.log.bak"), dayOne);
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 23:59:59.999] day two\n"));
    clock.ReleaseStamp();
    // A new month and a new year are new days too.
    clock.Set(2024, 4, 6, 0, 0, 0);
    Trace(*log, 0, "month");
    EXPECT_EQ(Content(), OnDisk("[2024-04-06 00:00:00.000] month\n"));
    clock.Set(2025, 4, 6, 0, 0, 0);
    Trace(*log, 0, "year");
    EXPECT_EQ(Content("app.log.bak"), OnDisk("[2024-04-06 00:00:00.000] month\n"));
    EXPECT_EQ(Content(), OnDisk("[2025-04-06 00:00:00.000] year\n"));
}

// Only a later date starts a new file: a wall clock that steps back (by
// hand, by a time server, by a change of zone) keeps writing the current
// one, so the backup of the day it left is never overwritten.
TEST_F(LogTest, AClockSteppedBackKeepsTheCurrentFileAndForwardRotatesOnce) {
    struct Moment {
        int day;
        int hour;
        int minute;
        int second;
    };
    struct Case {
        const char* what;
        std::vector<Moment> moments;  // one record at each
        // Records (by index) in the backup and in the file at the end.
        std::string backup;
        std::string current;
    };
    const Case cases[] = {
        {"back across midnight and forward again",
         {{5, 23, 59, 58}, {6, 0, 0, 1}, {5, 23, 59, 59}, {6, 0, 0, 0}, {6, 0, 0, 2}},
         "0",
         "1234"},
        {"to UTC+14 and back on one day",
         {{5, 10, 0, 0}, {6, 0, 0, 0}, {5, 10, 0, 1}, {5, 10, 0, 2}},
         "0",
         "123"},
        {"a whole day back, then the days run on",
         {{6, 10, 0, 0}, {5, 10, 0, 0}, {6, 11, 0, 0}, {7, 0, 0, 0}},
         "012",
         "3"},
        {"an hour back within the day", {{5, 10, 0, 0}, {5, 9, 0, 0}, {5, 10, 0, 1}}, "", "012"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir logDir;
        auto log = MakeLog(logDir.Str());
        std::string backup;
        std::string current;
        for (size_t i = 0; i < c.moments.size(); ++i) {
            const Moment& m = c.moments[i];
            clock.Set(2024, 3, m.day, m.hour, m.minute, m.second);
            Trace(*log, 0, "%d", static_cast<int>(i));
            platform::LocalTime stamp =
                test::MakeLocalTime(2024, 3, m.day, m.hour, m.minute, m.second, 0);
            (c.backup.find(static_cast<char>('0' + i)) != std::string::npos ? backup : current) +=
                OnDisk(StampText(stamp) + std::to_string(i) + "\n");
        }
        EXPECT_EQ(ReadBytes(logDir.Path() / "app.log.bak"), backup);
        EXPECT_EQ(ReadBytes(logDir.Path() / "app.log"), current);
    }
}

// Writes records of a fixed length until the file is backed up; returns
// how many went into the first file.
int RecordsUntilBackup(Log& log, const fs::path& backup, int32_t recordLength) {
    std::string message(static_cast<size_t>(recordLength - kStampLength - 1), 'm');
    for (int n = 1; n < 10000; ++n) {
        Trace(log, 0, "%s", message.c_str());
        if (fs::exists(backup)) {
            return n - 1;
        }
    }
    return -1;
}

TEST_F(LogTest, SizeLimitIsAtLeastOneMebibyteAndTheRecordReachingItStays) {
    struct Case {
        int32_t set;
        int32_t effective;
    };
    const Case cases[] = {
        {0, 1048576},       {-5, 1048576},      {INT32_MIN, 1048576},
        {1048575, 1048576}, {1048576, 1048576}, {1100000, 1100000},
    };
    const int32_t recordLength = 8027;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        TempDir logDir;
        auto log = MakeLog(logDir.Str(), "app.log", 5, c.set);
        int n = RecordsUntilBackup(*log, logDir.Path() / "app.log.bak", recordLength);
        // The record during which the count reaches the limit is the last
        // of the file; line ends count once, whatever the disk holds.
        int expected = (c.effective + recordLength - 1) / recordLength;
        EXPECT_EQ(n, expected);
        std::string line = "[2024-03-05 10:00:00.000] " +
                           std::string(static_cast<size_t>(recordLength - kStampLength - 1), 'm') +
                           "\n";
        EXPECT_EQ(fs::file_size(logDir.Path() / "app.log.bak"),
                  static_cast<uintmax_t>(n) * OnDisk(line).size());
        EXPECT_EQ(ReadBytes(logDir.Path() / "app.log"), OnDisk(line));
    }
}

TEST_F(LogTest, RawTextCountsTowardsTheLimit) {
    auto log = MakeLog(dir.Str());
    Trace(*log, 0, "a");
    log->WriteRaw(std::string(Log::kMinimumSizeLimit, 'r').c_str());
    Trace(*log, 0, "b");  // the count was full before it: rotates
    EXPECT_EQ(Content("app.log.bak"), OnDisk("[2024-03-05 10:00:00.000] a\n") +
                                          std::string(25, ' ') +
                                          std::string(Log::kMinimumSizeLimit, 'r'));
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 10:00:00.000] b\n"));
}

TEST_F(LogTest, CheckRotationClosesAFullFileAndLeavesTheReopenToTheNextRecord) {
    auto log = MakeLog(dir.Str());
    Trace(*log, 0, "a");
    log->CheckRotation();  // neither new day nor full: nothing happens
    log->WriteRaw(std::string(Log::kMinimumSizeLimit, 'r').c_str());
    log->CheckRotation();
    // Closed: the pending raw text reached the old file, no backup yet.
    const std::string full = OnDisk("[2024-03-05 10:00:00.000] a\n") + std::string(25, ' ') +
                             std::string(Log::kMinimumSizeLimit, 'r');
    EXPECT_EQ(Content(), full);
    EXPECT_FALSE(Exists("app.log.bak"));
    log->WriteRaw("dropped");  // no file: lost at the reopen
    Trace(*log, 0, "b");
    EXPECT_EQ(Content("app.log.bak"), full);
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 10:00:00.000] b\n"));

    // At a new day the same.
    clock.Set(2024, 3, 6, 0, 0, 1);
    log->CheckRotation();
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 10:00:00.000] b\n"));
    Trace(*log, 0, "c");
    EXPECT_EQ(Content("app.log.bak"), OnDisk("[2024-03-05 10:00:00.000] b\n"));
    EXPECT_EQ(Content(), OnDisk("[2024-03-06 00:00:01.000] c\n"));
}

TEST_F(LogTest, CheckRotationBeforeTheFirstRecordCreatesTheDirectory) {
    auto log = MakeLog(dir.Str("a/b/c"));
    log->CheckRotation();
    EXPECT_TRUE(fs::is_directory(dir.Path() / "a" / "b" / "c"));
    EXPECT_FALSE(Exists("a/b/c/app.log"));
    Trace(*log, 0, "r");
    EXPECT_EQ(Content("a/b/c/app.log"), OnDisk("[2024-03-05 10:00:00.000] r\n"));
}

TEST_F(LogTest, FirstRecordCreatesMissingParentDirectories) {
    auto log = MakeLog(dir.Str() + "/x\\y/z");
    Trace(*log, 0, "r");
    EXPECT_EQ(Content("x/y/z/app.log"), OnDisk("[2024-03-05 10:00:00.000] r\n"));
}

TEST_F(LogTest, NameMayHoldPathParts) {
    auto log = MakeLog(dir.Str(), "sub/dir/app.txt");
    Trace(*log, 0, "r");
    EXPECT_EQ(Content("sub/dir/app.txt"), OnDisk("[2024-03-05 10:00:00.000] r\n"));
}

TEST_F(LogTest, NewDirectoryTakesEffectAtTheNextDay) {
    auto log = MakeLog(dir.Str("first"));
    Trace(*log, 0, "one");
    log->SetDirectory(("  " + dir.Str("second") + "\t").c_str());
    EXPECT_STREQ(log->GetDirectory().path.CStr(), dir.Str("second").c_str());
    Trace(*log, 0, "two");
    EXPECT_FALSE(Exists("second"));
    clock.Set(2024, 3, 6, 8, 0, 0);
    Trace(*log, 0, "three");
    EXPECT_EQ(Content("first/app.log"),
              OnDisk("[2024-03-05 10:00:00.000] one\n[2024-03-05 10:00:00.000] two\n"));
    EXPECT_EQ(Content("second/app.log"), OnDisk("[2024-03-06 08:00:00.000] three\n"));
}

TEST_F(LogTest, GetDirectoryReportsTheConfiguredDirectoryAndLastRecordTime) {
    clock.Set(2024, 3, 5, 10, 0, 0);
    auto log = std::make_unique<Log>(&clock);
    const time_t created = clock.Time();
    char exe[4096];
    platform::ExecutableDirectory(exe, sizeof(exe));
    Log::Directory first = log->GetDirectory();
    EXPECT_EQ(first.lastWrite, created);
    EXPECT_STREQ(first.path.CStr(), (std::string(exe) + "/log_files").c_str());

    log->SetDirectory(nullptr);
    EXPECT_STREQ(log->GetDirectory().path.CStr(), (std::string(exe) + "/log_files").c_str());
    log->SetDirectory("logs");
    EXPECT_STREQ(log->GetDirectory().path.CStr(), (std::string(exe) + "/logs").c_str());

    log->SetDirectory(dir.Str().c_str());
    log->SetNameAndLevel("app.log", 0);
    clock.Advance(30);
    Trace(*log, 0, "r");
    clock.Advance(30);
    log->WriteRaw("raw text does not count as a write");
    log->Flush();
    Log::Directory last = log->GetDirectory();
    EXPECT_EQ(last.lastWrite, created + 30);
    EXPECT_STREQ(last.path.CStr(), dir.Str().c_str());
}

TEST_F(LogTest, AFailedOpenDropsRecordsUntilTheObstacleIsGone) {
    // A plain file where the directory should be.
    WriteBytes(dir.Path() / "blocker", "x");
    auto log = MakeLog(dir.Str("blocker/logs"));
    Trace(*log, 0, "lost");
    log->WriteRaw("lost too");
    log->Flush();
    log->CheckRotation();
    Trace(*log, 0, "lost again");
    EXPECT_EQ(Content("blocker"), "x");
    fs::remove(dir.Path() / "blocker");
    Trace(*log, 0, "kept");
    // Raw text is no record: two records went, and the gap says so (why,
    // as far as the system said).
    const std::string content = Content("blocker/logs/app.log");
    const std::string told = "[2024-03-05 10:00:00.000] 2 records not written since 10:00:00.000: ";
    const std::string kept = OnDisk("[2024-03-05 10:00:00.000] kept\n");
    EXPECT_EQ(content.rfind(told, 0), 0u) << content;
    ASSERT_GE(content.size(), kept.size());
    EXPECT_EQ(content.substr(content.size() - kept.size()), kept);
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 2) << content;
}

// Records lost are told once, before the next record written: how many,
// since the first of them (with its date when that was another day), and
// why; turned off, they leave no trace.
TEST_F(LogTest, RecordsThatCouldNotBeWrittenAreToldBeforeTheNextOne) {
    struct Case {
        const char* what;
        bool on;
        int lost;
        int64_t secondsLater;  // between the first lost record and the next kept
        std::string told;
    };
    const std::string why = std::strerror(EEXIST);
    const Case cases[] = {
        {"one", true, 1, 0,
         "[2024-03-05 10:00:00.000] 1 record not written since 10:00:00.000: " + why},
        {"many", true, 3, 61,
         "[2024-03-05 10:01:01.000] 3 records not written since 10:00:00.000: " + why},
        {"another day", true, 2, 86400,
         "[2024-03-06 10:00:00.000] 2 records not written since 2024-03-05 10:00:00.000: " + why},
        {"off", false, 2, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir logs;
        clock.Set(2024, 3, 5, 10, 0, 0);
        fs::create_directory(logs.Path() / "app.log");
        auto log = MakeLog(logs.Str());
        log->SetGapRecords(c.on);
        for (int i = 0; i < c.lost; ++i) {
            Trace(*log, 0, "lost");
        }
        clock.Advance(c.secondsLater);
        fs::remove(logs.Path() / "app.log");
        Trace(*log, 0, "kept");
        Trace(*log, 0, "kept again");
        const std::string stamp = c.secondsLater == 0    ? "[2024-03-05 10:00:00.000] "
                                  : c.secondsLater == 61 ? "[2024-03-05 10:01:01.000] "
                                                         : "[2024-03-06 10:00:00.000] ";
        EXPECT_EQ(ReadBytes(logs.Path() / "app.log"),
                  OnDisk((c.told.empty() ? "" : c.told + "\n") + stamp + "kept\n" + stamp +
                         "kept again\n"));
    }
}

TEST_F(LogTest, AnUnusableNameWritesNothingAndHarmsNothing) {
    auto log = MakeLog(dir.Str(), nullptr);  // the file would be the directory itself
    Trace(*log, 0, "r");
    log->WriteRaw("t");
    log->Flush();
    log->CheckRotation();
    EXPECT_TRUE(fs::is_directory(dir.Path()));
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST_F(LogTest, AFailingCalendarLeavesTheLogClosedButUsable) {
    auto log = MakeLog(dir.Str());
    clock.FailCalendar(true);
    Trace(*log, 0, "lost");
    log->CheckRotation();
    EXPECT_FALSE(Exists("app.log"));
    clock.FailCalendar(false);
    Trace(*log, 0, "kept");
    // No open failed: nothing said why, but the record is counted.
    EXPECT_EQ(Content(), OnDisk("[2024-03-05 10:00:00.000] 1 record not written since "
                                "10:00:00.000: no file open\n"
                                "[2024-03-05 10:00:00.000] kept\n"));
}

// While something not a file stands at the path, records are dropped and
// the file counts as full; once the path is free the next record opens it,
// at every size limit the log accepts, the largest included (where the
// count of a full file must not overflow).
TEST_F(LogTest, AfterADroppedRecordTheNextRecordOpensTheFileAtAnyLimit) {
    for (int32_t limit : {Log::kMinimumSizeLimit, INT32_MAX}) {
        SCOPED_TRACE(limit);
        TempDir logs;
        fs::create_directory(logs.Path() / "app.log");
        auto log = MakeLog(logs.Str(), "app.log", 5, limit);
        Trace(*log, 0, "dropped");
        Trace(*log, 0, "dropped again");
        fs::remove(logs.Path() / "app.log");
        for (int i = 0; i < 3; ++i) {
            Trace(*log, 0, "kept");
        }
        EXPECT_EQ(ReadBytes(logs.Path() / "app.log"),
                  OnDisk("[2024-03-05 10:00:00.000] 2 records not written since 10:00:00.000: " +
                         std::string(std::strerror(EEXIST)) +
                         "\n"
                         "[2024-03-05 10:00:00.000] kept\n"
                         "[2024-03-05 10:00:00.000] kept\n"
                         "[2024-03-05 10:00:00.000] kept\n"));
    }
}

TEST_F(LogTest, ALinkAtThePathIsNeitherFollowedNorMoved) {
    TempDir outside;
    WriteBytes(outside.Path() / "target", "outside");
    WriteBytes(dir.Path() / "app.log.bak", "old backup");
    if (!test::MakeLink(outside.Path() / "target", dir.Path() / "app.log", false)) {
        GTEST_SKIP() << "symbolic links cannot be created here";
    }
    auto log = MakeLog(dir.Str());
    Trace(*log, 0, "dropped");
    log->CheckRotation();
    Trace(*log, 0, "dropped again");
    log->Flush();
    EXPECT_EQ(ReadBytes(outside.Path() / "target"), "outside");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.Path() / "app.log")));
    EXPECT_EQ(Content("app.log.bak"), "old backup");
    // Once the link is gone the next record finds the path free.
    fs::remove(dir.Path() / "app.log");
    Trace(*log, 0, "kept");
    EXPECT_EQ(Content(),
              OnDisk("[2024-03-05 10:00:00.000] 2 records not written since "
                     "10:00:00.000: " +
                     std::string(std::strerror(EEXIST)) + "\n[2024-03-05 10:00:00.000] kept\n"));
    EXPECT_EQ(Content("app.log.bak"), "old backup");
}

// A file removed or renamed away (as a log rotation tool does), or its
// directory removed, while the log writes: ReopenIfMoved puts the records
// back at the path.
TEST_F(LogTest, AMovedFileIsReopenedAtItsPath) {
    struct Case {
        const char* what;
        // Does it to the log's directory, as another program would; false
        // when the system refuses it for the open file.
        bool (*act)(const fs::path& directory);
        // What the old file holds afterwards, if it still exists.
        const char* movedTo;
    };
    const Case cases[] = {
        {"removed",
         [](const fs::path& d) {
             std::error_code ec;
             return fs::remove(d / "app.log", ec);
         },
         nullptr},
        {"renamed away",
         [](const fs::path& d) {
             std::error_code ec;
             fs::rename(d / "app.log", d / "app.log.1", ec);
             return !ec;
         },
         "app.log.1"},
        {"renamed away and replaced by an empty file",
         [](const fs::path& d) {
             std::error_code ec;
             fs::rename(d / "app.log", d / "app.log.1", ec);
             WriteBytes(d / "app.log", "");
             return !ec;
         },
         "app.log.1"},
        {"its directory removed",
         [](const fs::path& d) {
             std::error_code ec;
             fs::remove_all(d, ec);
             return !ec && !fs::exists(d);
         },
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir root;
        const fs::path logDir = root.Path() / "logs";
        auto log = MakeLog(logDir.string());
        Trace(*log, 0, "before");
        log->ReopenIfMoved();  // still in place: nothing happens
        Trace(*log, 0, "same file");
        const std::string before =
            OnDisk("[2024-03-05 10:00:00.000] before\n[2024-03-05 10:00:00.000] same file\n");
        EXPECT_EQ(ReadBytes(logDir / "app.log"), before);
        // A rename must go through while the log holds the file. Where a
        // deletion waits for the last handle (Windows before its POSIX-style
        // deletion, and Wine), the name, and so its directory, stays until
        // the log lets the file go: nothing to follow yet.
        const bool done = c.act(logDir);
        ASSERT_TRUE(done || c.movedTo == nullptr) << "the open file could not be renamed";
        if (c.movedTo == nullptr && (!done || fs::exists(logDir / "app.log"))) {
            std::printf("%s: the deleted file keeps its name while open here\n", c.what);
            continue;
        }
        log->ReopenIfMoved();
        Trace(*log, 0, "after");
        EXPECT_EQ(ReadBytes(logDir / "app.log"), OnDisk("[2024-03-05 10:00:00.000] after\n"));
        if (c.movedTo != nullptr) {
            EXPECT_EQ(ReadBytes(logDir / c.movedTo), before);
        }
        EXPECT_FALSE(fs::exists(logDir / "app.log.bak"));
    }
}

TEST_F(LogTest, PercentMReportsErrnoAsItWasWhenTheCallBegan) {
    // The first record opens the file, the fifth finds it full and
    // rotates: both change errno on the way.
    auto log = MakeLog(dir.Str());
    std::string expected;
    for (int i = 0; i < 5; ++i) {
        if (i == 4) {
            log->WriteRaw(std::string(Log::kMinimumSizeLimit, 'r').c_str());
            expected.clear();
        }
        const int code = i % 2 == 0 ? ERANGE : EACCES;
        errno = code;
        Trace(*log, 0, "failed: %m");
        EXPECT_EQ(errno, code) << "the caller finds errno as it left it";
        expected +=
            OnDisk("[2024-03-05 10:00:00.000] failed: " + std::string(strerror(code)) + "\n");
    }
    EXPECT_EQ(Content(), expected);
}

// The numbered name "<name>_<hour><quarter>[<n>].log" is probed at every
// reopen and decides where the count starts; it is never written.
class NumberedNameTest : public LogTest {
  protected:
    void Fill(const std::string& name, int32_t size) {
        std::ofstream(dir.Path() / name).close();
        fs::resize_file(dir.Path() / name, static_cast<uintmax_t>(size));
    }
    // Fills the count so that the next record reopens.
    void MakeFull(Log& log) { log.WriteRaw(std::string(Log::kMinimumSizeLimit, 'r').c_str()); }
    // True when the new file's count starts nearly full: a short record
    // fills it and the next one rotates. The log (named "app") must be due
    // to open its file at the next record.
    bool StartedNearlyFull(Log& log) {
        Trace(log, 0, "probe one");  // opens; the count starts where the probe says
        fs::remove(dir.Path() / "app.bak");
        Trace(log, 0, "probe two");
        return Exists("app.bak");
    }
    const int32_t kNearlyFull = Log::kMinimumSizeLimit - 10;
};

TEST_F(NumberedNameTest, FullNumberedFilesArePassedOver) {
    Fill("app_1003[001].log", Log::kMinimumSizeLimit);
    Fill("app_1003[002].log", kNearlyFull);
    clock.Set(2024, 3, 5, 10, 31, 0);
    auto log = MakeLog(dir.Str(), "app");
    EXPECT_TRUE(StartedNearlyFull(*log));
    EXPECT_EQ(fs::file_size(dir.Path() / "app_1003[002].log"), static_cast<uintmax_t>(kNearlyFull));
    EXPECT_FALSE(Exists("app_1003[003].log"));
}

TEST_F(NumberedNameTest, WithoutNumberedFilesTheCountStartsAtZero) {
    clock.Set(2024, 3, 5, 10, 31, 0);
    auto log = MakeLog(dir.Str(), "app");
    EXPECT_FALSE(StartedNearlyFull(*log));
    EXPECT_FALSE(Exists("app_1003[001].log"));
}

TEST_F(NumberedNameTest, TheLastNameChosenIsPassedOverAfterAReset) {
    clock.Set(2024, 3, 5, 9, 50, 0);
    auto log = MakeLog(dir.Str(), "app");
    Trace(*log, 0, "day start");  // chooses app_0904[001].log
    // Full in another quarter than the day's start: the sequence restarts
    // and app_1003[001].log is chosen.
    clock.Set(2024, 3, 5, 10, 31, 0);
    MakeFull(*log);
    Trace(*log, 0, "reopen one");
    // Full again, still another quarter than the day's start: restarts at
    // 1, passes over app_1003[001].log (the last chosen, absent) and probes
    // [002].
    Fill("app_1003[002].log", kNearlyFull);
    MakeFull(*log);
    EXPECT_TRUE(StartedNearlyFull(*log));
}

TEST_F(NumberedNameTest, QuarterAndHourAreComparedWithTheDayStart) {
    clock.Set(2024, 3, 5, 10, 31, 0);
    auto log = MakeLog(dir.Str(), "app");
    Trace(*log, 0, "day start");  // app_1003[001].log
    clock.Set(2024, 3, 5, 10, 44, 59);
    MakeFull(*log);
    Trace(*log, 0, "r");  // same quarter as the day's start: no restart, [002]
    // Still no restart: [003] is probed (a restart would give the absent [001]).
    Fill("app_1003[003].log", kNearlyFull);
    MakeFull(*log);
    EXPECT_TRUE(StartedNearlyFull(*log));  // its second probe chose [004]
    // The next quarter restarts at 1.
    Fill("app_1004[001].log", kNearlyFull);
    clock.Set(2024, 3, 5, 10, 45, 0);
    MakeFull(*log);
    EXPECT_TRUE(StartedNearlyFull(*log));
    // So does another hour in the day's own quarter.
    Fill("app_1103[001].log", kNearlyFull);
    clock.Set(2024, 3, 5, 11, 31, 0);
    MakeFull(*log);
    EXPECT_TRUE(StartedNearlyFull(*log));
    // No numbered file is ever written.
    EXPECT_EQ(fs::file_size(dir.Path() / "app_1003[003].log"), static_cast<uintmax_t>(kNearlyFull));
    EXPECT_FALSE(Exists("app_1003[001].log"));
    EXPECT_FALSE(Exists("app_1003[002].log"));
}

TEST(LogSystemClock, StampsWithTheCurrentLocalTime) {
    TempDir dir;
    time_t before = time(nullptr);
    {
        Log log;
        log.SetDirectory(dir.Str().c_str());
        log.SetNameAndLevel("app.log", 0);
        Trace(log, 0, "now");
    }
    time_t after = time(nullptr);
    std::string content = ReadBytes(dir.Path() / "app.log");
    bool found = false;
    for (time_t t = before - 1; t <= after + 1 && !found; ++t) {
        std::tm tm;
        ASSERT_TRUE(platform::LocalCalendar(t, &tm));
        char prefix[96];
        snprintf(prefix, sizeof(prefix), "[%4d-%02d-%02d %02d:%02d:%02d.", tm.tm_year + 1900,
                 tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        found = content.rfind(prefix, 0) == 0;
    }
    EXPECT_TRUE(found) << content;
    EXPECT_EQ(content.size(), OnDisk("[2024-03-05 10:00:00.000] now\n").size());
}

TEST_F(LogTest, ARecordMadeWhileAnotherThreadHoldsTheLogIsTheSameLine) {
    // A writer that finds the lock held renders its record before it takes
    // the lock, and so does its next record; the bytes, %m and errno are
    // those of a record made under the lock.
    struct Case {
        const char* format;
        int arg;
        std::string message;
    };
    const std::string wide = std::string(2999, ' ') + "7";
    const Case cases[] = {
        {"x=%d", 5, "x=5\n"},
        {"%d lines\n", 2, "2 lines\n"},
        {"", 0, "\n"},
        {"failed %d: %m", 1, "failed 1: " + std::string(strerror(ERANGE)) + "\n"},
        {"%3000d", 7, wide + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        TempDir logDir;
        auto log = MakeLog(logDir.Str());
        Trace(*log, 0, "open");
        log->ForkPrepare();  // holds the log's lock
        std::thread writer([&] {
            for (int i = 0; i < 2; ++i) {
                errno = ERANGE;
                Trace(*log, 0, c.format, c.arg);
                EXPECT_EQ(errno, ERANGE);
            }
        });
        while (!test::LogTestPeer::Busy(*log)) {
            std::this_thread::yield();
        }
        log->ForkParent();
        writer.join();
        const std::string line = "[2024-03-05 10:00:00.000] " + c.message;
        EXPECT_EQ(ReadBytes(logDir.Path() / "app.log"),
                  OnDisk("[2024-03-05 10:00:00.000] open\n" + line + line));
    }
}

// Runs body(t) on threads 0..count-1, released together, and waits for
// them all.
void RunTogether(int count, const std::function<void(int)>& body) {
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) {
            }
            body(t);
        });
    }
    go = true;
    for (auto& thread : threads) {
        thread.join();
    }
}

// Appends to seen[t] the numbers of the records "thread t record n<tail>"
// that content holds, in file order. Fails at anything else: a line of
// another shape or with another tail (a torn record), a last line without
// its end.
void ReadThreadRecords(const std::string& content, const std::string& tail,
                       std::vector<std::vector<int>>* seen) {
    const std::string lineEnd = test::NativeLineEnd();
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find(lineEnd, pos);
        ASSERT_NE(end, std::string::npos) << "the file ends inside a line";
        const std::string line = content.substr(pos, end - pos);
        int t = -1;
        int i = -1;
        int length = 0;
        ASSERT_EQ(sscanf(line.c_str(), "[2024-03-05 10:00:00.000] thread %d record %d%n", &t, &i,
                         &length),
                  2)
            << line.substr(0, 80);
        ASSERT_TRUE(t >= 0 && static_cast<size_t>(t) < seen->size()) << line.substr(0, 80);
        EXPECT_EQ(line.substr(static_cast<size_t>(length)), tail) << "torn: " << t << " " << i;
        (*seen)[static_cast<size_t>(t)].push_back(i);
        pos = end + lineEnd.size();
    }
}

// Each thread's records, 0..records-1, each once and in order.
void ExpectEveryRecordInOrder(const std::vector<std::vector<int>>& seen, int records) {
    std::vector<int> all;
    for (int i = 0; i < records; ++i) {
        all.push_back(i);
    }
    for (size_t t = 0; t < seen.size(); ++t) {
        EXPECT_EQ(seen[t], all) << "thread " << t;
    }
}

TEST_F(LogTest, ConcurrentWritersProduceWholeLines) {
    auto log = MakeLog(dir.Str(), "app.log", 5);
    constexpr int kThreads = 4;
    constexpr int kRecords = 200;
    RunTogether(kThreads, [&](int t) {
        for (int i = 0; i < kRecords; ++i) {
            Trace(*log, t, "thread %d record %d", t, i);
            if (i % 50 == 0) {
                log->SetLevel(5);  // races the lock-free level test
            }
        }
    });
    std::vector<std::vector<int>> seen(kThreads);
    ReadThreadRecords(ReadBytes(dir.Path() / "app.log"), "", &seen);
    ExpectEveryRecordInOrder(seen, kRecords);
}

TEST_F(LogTest, BusyWritersAcrossRotationsLoseAndTearNoRecord) {
    // Records of a busy log are written after its lock is let go; a
    // rotation must not close the file under a write still on its way
    // (the record would be lost, or land in whatever file took the
    // descriptor's number). About 1.6 MB of records: one rotation, so the
    // file and its backup hold every record, whole and in its thread's
    // order.
    auto log = MakeLog(dir.Str(), "app.log", 5);
    constexpr int kThreads = 4;
    constexpr int kRecords = 200;
    const std::string payload(2000, 'p');
    RunTogether(kThreads, [&](int t) {
        for (int i = 0; i < kRecords; ++i) {
            test::LogTestPeer::RenderNextBeforeLock(*log);
            Trace(*log, 0, "thread %d record %d %s", t, i, payload.c_str());
        }
    });
    log.reset();
    ASSERT_TRUE(Exists("app.log.bak")) << "the records should have filled more than one file";
    std::vector<std::vector<int>> seen(kThreads);
    for (const char* name : {"app.log.bak", "app.log"}) {
        SCOPED_TRACE(name);
        ReadThreadRecords(Content(name), " " + payload, &seen);
    }
    ExpectEveryRecordInOrder(seen, kRecords);
}

}  // namespace
}  // namespace vosk
