// The registry without its thread: each test drives the maintenance loop
// turn by turn, with a fake disk, a fake clock and a recording cleanup.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "VOSK_Log.h"
#include "api/LogRegistry.h"
#include "log/Log.h"
#include "support/FakeClock.h"
#include "support/LogCalls.h"
#include "support/LogRegistryTestPeer.h"
#include "support/TempDir.h"
#include "threading/BlockingQueue.h"

namespace vosk {
namespace {

using test::Trace;
using Seams = test::LogRegistryTestPeer;

class LogRegistryTest : public ::testing::Test {
  protected:
    LogRegistryTest() { registry_ = std::make_unique<LogRegistry>(Hooks(), false); }

    MaintenanceHooks Hooks() {
        MaintenanceHooks hooks;
        hooks.clock = &clock_;
        hooks.idleWaitMs = 1;
        hooks.diskClusters = [this](const char* directory, uint32_t* freeClusters,
                                    uint32_t* totalClusters) {
            ++diskQueries_;
            queried_.emplace_back(directory);
            *freeClusters = full_.count(directory) != 0 ? 0 : free_;
            *totalClusters = total_;
            return diskKnown_;
        };
        hooks.pruneArchive = [this](const char* directory, const platform::HeldDirectory*, time_t t,
                                    const DiskUse& use) {
            prunes_.emplace_back(directory, t);
            PruneReport report = pruned_;
            report.disk = use;
            return report;
        };
        return hooks;
    }

    LogEntry* Create(const std::string& directory, const char* name = "a.log") {
        return registry_->CreateLog(directory.c_str(), name, 0, 5);
    }

    void RunCommands() { Seams::RunCommands(*registry_); }

    test::FakeClock clock_;
    test::TempDir dir_;
    uint32_t free_ = 500;
    uint32_t total_ = 1000;
    bool diskKnown_ = true;
    int diskQueries_ = 0;
    // Directories queried, in order; those in full_ report a full disk.
    std::vector<std::string> queried_;
    std::set<std::string> full_;
    std::vector<std::pair<std::string, time_t>> prunes_;
    // What each disk prune reports, with the use it was given.
    PruneReport pruned_ = [] {
        PruneReport report;
        report.reason = PruneReason::kDisk;
        return report;
    }();
    std::unique_ptr<LogRegistry> registry_;
};

TEST_F(LogRegistryTest, DiskLimitIsClampedAndSetOnlyByTheMaintenanceTurn) {
    const std::pair<uint32_t, int32_t> cases[] = {
        {0, 200}, {199, 200}, {200, 200}, {800, 800}, {950, 950}, {951, 950}, {4294967295u, 950},
    };
    for (auto [given, expected] : cases) {
        registry_->SetLogDiskLimit(555);
        RunCommands();
        registry_->SetLogDiskLimit(given);
        EXPECT_EQ(Seams::DiskLimit(*registry_), 555)
            << "changed on the calling thread for " << given;
        RunCommands();
        EXPECT_EQ(Seams::DiskLimit(*registry_), expected) << given;
    }
}

TEST_F(LogRegistryTest, StartsWithTheDefaultLimit) {
    EXPECT_EQ(Seams::DiskLimit(*registry_), 800);
}

TEST_F(LogRegistryTest, LogsAreRegisteredInCreationOrderEvenWhenAlike) {
    LogEntry* a = Create(dir_.Str());
    LogEntry* b = Create(dir_.Str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(Seams::Logs(*registry_).Count(), 2u);
    EXPECT_EQ(Seams::Logs(*registry_).Peek(0, 0), a);
    EXPECT_EQ(Seams::Logs(*registry_).Next(a), b);
}

TEST_F(LogRegistryTest, DestroyIsCarriedOutByTheMaintenanceTurnInOrder) {
    LogEntry* a = Create(dir_.Str());
    Trace(a, 1, "kept");
    LogRegistry::WriteLog(a, "pending");
    registry_->DestroyLog(a);
    registry_->SetLogDiskLimit(900);
    EXPECT_EQ(Seams::Logs(*registry_).Count(), 1u) << "destroyed on the calling thread";

    Seams::Turn(*registry_);
    EXPECT_EQ(Seams::Logs(*registry_).Count(), 0u);
    EXPECT_EQ(Seams::DiskLimit(*registry_), 800) << "the limit came after the destroy";
    Seams::Turn(*registry_);
    EXPECT_EQ(Seams::DiskLimit(*registry_), 900);
    // The destroyed log wrote out what it still held.
    EXPECT_NE(test::ReadBytes(dir_.Path() / "a.log").find(std::string(25, ' ') + "pending"),
              std::string::npos);
}

TEST_F(LogRegistryTest, NullHandlesAreIgnored) {
    registry_->DestroyLog(nullptr);
    RunCommands();
    LogRegistry::ChangeLevel(nullptr, 1);
    LogRegistry::WriteLog(nullptr, "x");
    Trace(nullptr, 1, "x");
    EXPECT_EQ(diskQueries_, 0);
}

TEST_F(LogRegistryTest, CommandsHoldIdlePassesOff) {
    Create(dir_.Str());
    for (int i = 0; i < 5; ++i) {
        registry_->SetLogDiskLimit(300 + i);
    }
    for (int i = 0; i < 5; ++i) {
        Seams::Turn(*registry_);
    }
    EXPECT_EQ(diskQueries_, 0);
    EXPECT_EQ(Seams::DiskLimit(*registry_), 304);
    Seams::Turn(*registry_);
    EXPECT_EQ(diskQueries_, 1);
}

struct UsageCase {
    uint32_t free, total;
    uint32_t limit;
    bool prunes;
};

TEST_F(LogRegistryTest, PrunesOnlyWhenUsageIsAboveTheLimit) {
    const UsageCase cases[] = {
        {200, 1000, 800, false}, {199, 1000, 800, true}, {201, 1000, 800, false},
        {50, 1000, 950, false},  {49, 1000, 950, true},  {0, 0, 950, true},  // 0 total reads as 100
        {100, 0, 950, false},
    };
    Create(dir_.Str());
    for (const UsageCase& c : cases) {
        registry_->SetLogDiskLimit(c.limit);
        RunCommands();
        free_ = c.free;
        total_ = c.total;
        prunes_.clear();
        Seams::IdlePass(*registry_);
        EXPECT_EQ(!prunes_.empty(), c.prunes)
            << c.free << " free of " << c.total << ", limit " << c.limit;
    }
}

TEST_F(LogRegistryTest, UnknownDiskFiguresPruneNothing) {
    Create(dir_.Str());
    diskKnown_ = false;
    free_ = 0;
    Seams::IdlePass(*registry_);
    EXPECT_EQ(diskQueries_, 1);
    EXPECT_TRUE(prunes_.empty());
}

TEST_F(LogRegistryTest, IdlePassWithoutLogsTouchesNoDisk) {
    free_ = 0;
    Seams::IdlePass(*registry_);
    EXPECT_EQ(diskQueries_, 0);
    EXPECT_TRUE(prunes_.empty());
}

// Each run of logs sharing a directory tests the disk that holds that
// directory: only the runs on the full disk are pruned.
TEST_F(LogRegistryTest, EachDirectoryIsTestedOnItsOwnDisk) {
    const std::string onFull = dir_.Str("full"), onRoomy = dir_.Str("roomy");
    Create(onRoomy, "1.log");
    Create(onRoomy, "2.log");
    Create(onFull, "3.log");
    Create(onRoomy, "4.log");
    full_.insert(onFull);
    Seams::IdlePass(*registry_);
    const std::vector<std::string> expectedQueries = {onRoomy, onFull, onRoomy};
    EXPECT_EQ(queried_, expectedQueries);
    ASSERT_EQ(prunes_.size(), 1u);
    EXPECT_EQ(prunes_[0].first, onFull);
}

TEST_F(LogRegistryTest, OnePruneForEachRunOfLogsSharingADirectory) {
    const std::string x = dir_.Str("x"), y = dir_.Str("y"), upper = dir_.Str("X");
    LogEntry* first = Create(x, "1.log");
    clock_.Advance(5);
    Create(x, "2.log");
    LogEntry* third = Create(y, "3.log");
    LogEntry* fourth = Create(x, "4.log");
    LogEntry* fifth = Create(upper, "5.log");
    Trace(first, 1, "r");
    Trace(third, 1, "r");
    Trace(fourth, 1, "r");
    const time_t t1 = first->payload->GetDirectory().lastWrite;
    const time_t t3 = third->payload->GetDirectory().lastWrite;
    const time_t t4 = fourth->payload->GetDirectory().lastWrite;
    const time_t t5 = fifth->payload->GetDirectory().lastWrite;

    free_ = 0;
    Seams::IdlePass(*registry_);
    const std::vector<std::pair<std::string, time_t>> expected = {
        {x, t1}, {y, t3}, {x, t4}, {upper, t5}};
    EXPECT_EQ(prunes_, expected);
}

// With prune records on, the log whose turn set the disk prune off tells
// of it, with the use to the per mille rounded up; the others of its run
// and a log with them off say nothing.
TEST_F(LogRegistryTest, ADiskPruneIsToldInTheLogWhoseTurnItWas) {
    const std::string x = dir_.Str("x"), y = dir_.Str("y"), z = dir_.Str("z");
    LogEntry* logs[] = {Create(x, "1.log"), Create(x, "2.log"), Create(y, "3.log"),
                        Create(z, "4.log")};
    for (LogEntry* log : logs) {
        EXPECT_EQ(LogRegistry::SetOption(log, SL_OPTION_PRUNE_RECORDS, log == logs[3] ? 0 : 1), 0);
        Trace(log, 1, "first");
    }
    PrunedEntry day;
    day.path = "logfiles-2026/12/2026-12-11";
    day.files = 21;
    day.bytes = 2100;
    pruned_.entries.push_back(day);
    // 801 - 1/3 per mille.
    free_ = 597;
    total_ = 3000;
    Seams::IdlePass(*registry_);
    ASSERT_EQ(prunes_.size(), 3u);
    const std::string told =
        "pruned logfiles-2026/12/2026-12-11: 21 files, 2100 bytes, folder stays: disk at 801 per "
        "mille, over its limit of 800";
    const std::pair<std::string, bool> cases[] = {
        {"x/1.log", true}, {"x/2.log", false}, {"y/3.log", true}, {"z/4.log", false}};
    for (const auto& [file, tells] : cases) {
        const std::string text = test::ReadBytes(dir_.Path() / file);
        EXPECT_EQ(text.find("] " + told) != std::string::npos, tells) << file << ": " << text;
        EXPECT_EQ(text.find("pruned") == text.rfind("pruned"), true) << file << ": told twice";
    }
}

TEST_F(LogRegistryTest, DestroyedLogIsNoLongerVisited) {
    LogEntry* a = Create(dir_.Str("a"));
    Create(dir_.Str("b"));
    registry_->DestroyLog(a);
    RunCommands();
    free_ = 0;
    Seams::IdlePass(*registry_);
    ASSERT_EQ(prunes_.size(), 1u);
    EXPECT_EQ(prunes_[0].first, dir_.Str("b"));
}

TEST_F(LogRegistryTest, FlushesLogsOnlyTenSecondsAfterTheLoopBegan) {
    Seams::SetStartTime(*registry_, clock_.MonotonicMs());
    LogEntry* a = Create(dir_.Str());
    Trace(a, 1, "first");
    LogRegistry::WriteLog(a, "raw");
    const std::string raw = std::string(25, ' ') + "raw";

    clock_.Advance(9);
    Seams::IdlePass(*registry_);
    EXPECT_EQ(test::ReadBytes(dir_.Path() / "a.log").find(raw), std::string::npos);

    clock_.Advance(1);
    Seams::IdlePass(*registry_);
    EXPECT_NE(test::ReadBytes(dir_.Path() / "a.log").find(raw), std::string::npos);
}

// A rotation tool may act at once after start: the first idle pass follows
// a file renamed away, and restarts the count of a file cut short, long
// before the ten seconds of the flush.
TEST_F(LogRegistryTest, TheFirstIdlePassFollowsFilesThatOtherProgramsMovedOrCut) {
    Seams::SetStartTime(*registry_, clock_.MonotonicMs());
    LogEntry* moved = Create(dir_.Str("m"));
    LogEntry* cut = Create(dir_.Str("c"));
    Trace(moved, 1, "before");
    const std::string big(Log::kMinimumSizeLimit, 'x');
    Trace(cut, 1, "%s", big.c_str());
    std::filesystem::rename(dir_.Path() / "m/a.log", dir_.Path() / "m/a.log.1");
    std::filesystem::resize_file(dir_.Path() / "c/a.log", 0);
    Seams::IdlePass(*registry_);
    Trace(moved, 1, "after");
    Trace(cut, 1, "after");
    const std::string moved1 = test::ReadBytes(dir_.Path() / "m/a.log.1");
    const std::string movedNow = test::ReadBytes(dir_.Path() / "m/a.log");
    EXPECT_NE(moved1.find("before"), std::string::npos);
    EXPECT_EQ(moved1.find("after"), std::string::npos);
    EXPECT_NE(movedNow.find("after"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "c/a.log.bak"));
    const std::string cutNow = test::ReadBytes(dir_.Path() / "c/a.log");
    EXPECT_EQ(cutNow.find('\0'), std::string::npos);
    EXPECT_NE(cutNow.find("after"), std::string::npos);
}

// Day folders past a log's archive days are looked for at the first idle
// pass and then once a minute, not at every pass.
TEST_F(LogRegistryTest, ArchiveAgeIsTestedAtTheFirstIdlePassAndEveryMinute) {
    LogEntry* log = Create(dir_.Str());
    Trace(log, 1, "opens the file");
    LogRegistry::SetArchive(log, 1);
    LogRegistry::SetArchive(nullptr, 1);
    const std::filesystem::path old = dir_.Path() / "logfiles-2001/01/2001-01-01";
    std::filesystem::create_directories(old);
    Seams::IdlePass(*registry_);
    EXPECT_FALSE(std::filesystem::exists(old));
    std::filesystem::create_directories(old);
    clock_.AdvanceMonotonic(LogRegistry::kAgePruneEveryMs - 1);
    Seams::IdlePass(*registry_);
    EXPECT_TRUE(std::filesystem::exists(old));
    clock_.AdvanceMonotonic(1);
    Seams::IdlePass(*registry_);
    EXPECT_FALSE(std::filesystem::exists(old));
}

// With prune records on, every folder the age prune removed is told in the
// log, whatever its threshold; each time it is made again, again.
TEST_F(LogRegistryTest, AnAgePruneIsToldInTheLogWithPruneRecordsOn) {
    LogEntry* log = Create(dir_.Str());
    Trace(log, 1, "opens the file");
    LogRegistry::SetArchive(log, 3);
    EXPECT_EQ(LogRegistry::SetOption(log, SL_OPTION_PRUNE_RECORDS, 1), 0);
    LogRegistry::ChangeLevel(log, -100);
    const std::filesystem::path old = dir_.Path() / "logfiles-2001/01/2001-01-01";
    std::filesystem::create_directories(old);
    std::ofstream(old / "a.log.20010101-000000") << "12345";
    Seams::IdlePass(*registry_);
    EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "logfiles-2001"));
    const std::string text = test::ReadBytes(dir_.Path() / "a.log");
    for (const char* line :
         {"pruned logfiles-2001/01/2001-01-01: 1 file, 5 bytes, folder removed: older than 3 days",
          "pruned logfiles-2001/01: 0 files, 0 bytes, folder removed: older than 3 days",
          "pruned logfiles-2001: 0 files, 0 bytes, folder removed: older than 3 days"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " not in " << text;
    }
}

TEST_F(LogRegistryTest, TheTenSecondRuleFollowsTheMonotonicClockNotTheWallClock) {
    struct Case {
        const char* what;
        int hour;  // the wall clock is set to this hour of the same day
        int day;
    };
    const Case cases[] = {
        {"stepped back an hour", 9, 5},
        {"stepped forward a day", 10, 6},
        {"left alone", 10, 5},
    };
    const std::string raw = std::string(25, ' ') + "raw";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir logDir;
        clock_.Set(2024, 3, 5, 10, 0, 0);
        Seams::SetStartTime(*registry_, clock_.MonotonicMs());
        LogEntry* log = Create(logDir.Str());
        Trace(log, 1, "first");
        LogRegistry::WriteLog(log, "raw");
        clock_.Set(2024, 3, c.day, c.hour, 0, 0);
        clock_.AdvanceMonotonic(9999);
        Seams::IdlePass(*registry_);
        EXPECT_EQ(test::ReadBytes(logDir.Path() / "a.log").find(raw), std::string::npos);
        clock_.AdvanceMonotonic(1);
        Seams::IdlePass(*registry_);
        EXPECT_NE(test::ReadBytes(logDir.Path() / "a.log").find(raw), std::string::npos);
        registry_->DestroyLog(log);
        RunCommands();
    }
}

TEST_F(LogRegistryTest, AnIdlePassPutsAFileRemovedFromItsPathBack) {
    LogEntry* log = Create(dir_.Str());
    Trace(log, 1, "first");
    std::error_code ec;
    std::filesystem::rename(dir_.Path() / "a.log", dir_.Path() / "a.log.1", ec);
    if (ec) {
        GTEST_SKIP() << "an open file cannot be renamed here";
    }
    Seams::IdlePass(*registry_);
    EXPECT_TRUE(std::filesystem::exists(dir_.Path() / "a.log"));
    Trace(log, 1, "second");
    EXPECT_EQ(test::ReadBytes(dir_.Path() / "a.log").find("first"), std::string::npos);
    EXPECT_NE(test::ReadBytes(dir_.Path() / "a.log").find("second"), std::string::npos);
    EXPECT_NE(test::ReadBytes(dir_.Path() / "a.log.1").find("first"), std::string::npos);
}

// The old backup is moved aside at a rotation and deleted by the
// maintenance thread, woken by one command however many logs rotate; when
// rotations come faster than the thread, the writer deletes the earlier one
// itself. A file moved aside that a crash left is deleted by the first
// idle pass.
TEST_F(LogRegistryTest, BackupsMovedAsideAreDeletedByTheMaintenanceTurn) {
    const std::filesystem::path logs = dir_.Path();
    std::filesystem::create_directories(logs);
    std::ofstream(logs / "a.log.bak.del") << "left by a crash\n";
    LogEntry* log = Create(dir_.Str());
    const std::string big(Log::kMinimumSizeLimit, 'x');
    Trace(log, 1, "file 0");
    Seams::IdlePass(*registry_);
    EXPECT_FALSE(std::filesystem::exists(logs / "a.log.bak.del"));
    for (int file = 1; file <= 3; ++file) {
        Trace(log, 1, "%s", big.c_str());
        Trace(log, 1, "file %d", file);
    }
    EXPECT_EQ(test::ReadBytes(logs / "a.log.bak").substr(26, 6), "file 2");
    EXPECT_EQ(test::ReadBytes(logs / "a.log.bak.del").substr(26, 6), "file 1");
    EXPECT_EQ(test::ReadBytes(logs / "a.log").substr(26, 6), "file 3");
    ASSERT_EQ(Seams::Logs(*registry_).Count(), 1);
    Seams::Turn(*registry_);
    EXPECT_FALSE(std::filesystem::exists(logs / "a.log.bak.del"));
    RunCommands();
    Trace(log, 1, "%s", big.c_str());
    Trace(log, 1, "file 4");
    EXPECT_TRUE(std::filesystem::exists(logs / "a.log.bak.del"));
    registry_->DestroyLog(log);
    RunCommands();
    EXPECT_FALSE(std::filesystem::exists(logs / "a.log.bak.del"));
    EXPECT_EQ(test::ReadBytes(logs / "a.log.bak").substr(26, 6), "file 3");
}

// With its real thread: logs still registered and a destroy still pending
// at unload are destroyed once each (the sanitizer builds watch for more).
TEST(LogRegistryLifetime, UnloadWithLogsAndPendingCommandsDestroysEachOnce) {
    test::TempDir dir;
    auto registry = std::make_unique<LogRegistry>();
    LogEntry* a = registry->CreateLog(dir.Str().c_str(), "a.log", 0, 5);
    LogEntry* b = registry->CreateLog(dir.Str().c_str(), "b.log", 0, 5);
    Trace(a, 1, "record");
    LogRegistry::WriteLog(a, "pending");
    registry->DestroyLog(b);
    registry->SetLogDiskLimit(300);
    registry.reset();
    std::string text = test::ReadBytes(dir.Path() / "a.log");
    ASSERT_GE(text.size(), 32u);
    EXPECT_EQ(text.substr(text.size() - 32), std::string(25, ' ') + "pending");
}

// An idle pass that outlasts the stop's 1000 ms bound without a point where
// the thread can be cancelled (a slow scan of a hung file system): the
// registry's memory stays valid until the thread has ended, and the
// destruction still returns once it has.
TEST(LogRegistryLifetime, StopDuringAnIdlePassPastTheBoundFreesNothingTheThreadStillUses) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kSpin = std::chrono::milliseconds(1500);
    test::TempDir dir;
    std::atomic<bool> inPass{false};
    MaintenanceHooks hooks;
    hooks.idleWaitMs = 1;
    hooks.diskClusters = [](const char*, uint32_t* freeClusters, uint32_t* totalClusters) {
        *freeClusters = 0;
        *totalClusters = 1000;
        return true;
    };
    hooks.pruneArchive = [&inPass, kSpin](const char*, const platform::HeldDirectory*, time_t,
                                          const DiskUse&) {
        if (inPass.exchange(true)) {
            return PruneReport();
        }
        const auto end = Clock::now() + kSpin;
        while (Clock::now() < end) {
        }
        return PruneReport();
    };
    auto registry = std::make_unique<LogRegistry>(hooks);
    registry->CreateLog(dir.Str().c_str(), "a.log", 0, 5);
    registry->CreateLog((dir.Str() + "/other").c_str(), "b.log", 0, 5);
    while (!inPass.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto start = Clock::now();
    registry.reset();
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1000))
        << "the pass was not waited for";
    // Had the registry been freed under the pass, the thread would touch
    // freed memory when it ends; give that time to happen (and the address
    // checker time to see it) before the test's own objects go.
    std::this_thread::sleep_until(start + kSpin + std::chrono::milliseconds(200));
}

}  // namespace
}  // namespace vosk
