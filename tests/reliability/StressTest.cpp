// Many threads, one registry with its real maintenance thread: records are
// never cut, mixed or lost, rotation under load splits no record, and logs
// that come and go while others are written leave whole files behind.
//
// The maintenance thread runs an idle pass every few milliseconds and, with
// its clock running fast, flushes and checks every log for rotation in each
// pass, so that it races the writers all the time rather than every 10 s.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "api/LogRegistry.h"
#include "log/Clock.h"
#include "platform/Time.h"
#include "support/LogCalls.h"
#include "support/RecordLines.h"
#include "support/TempDir.h"

#ifndef VOSK_STRESS_DIVISOR
#define VOSK_STRESS_DIVISOR 1
#endif

namespace vosk {
namespace {

using test::Trace;

namespace fs = std::filesystem;
using test::FileLines;
using test::Payload;
using test::ReadBytes;
using test::Record;
using test::TempDir;

// Counts are divided by this where a sanitizer makes every write slow.
constexpr int kDivisor = VOSK_STRESS_DIVISOR;
constexpr int kThreads = 8;
constexpr int kRecordsPerThread = 20000 / kDivisor;

// Seconds and monotonic milliseconds that jump by a minute at every read,
// so that every idle pass finds the 10 seconds since the loop began long
// gone.
class RacingClock : public Clock {
  public:
    time_t Time() override { return start_ + 60 * reads_.fetch_add(1); }
    bool LocalCalendar(time_t t, std::tm* out) override { return platform::LocalCalendar(t, out); }
    void LocalTimeNow(platform::LocalTime* now) override { platform::LocalTimeNow(now); }
    int64_t MonotonicMs() override { return 60000 * reads_.fetch_add(1); }

  private:
    const time_t start_ = std::time(nullptr);
    std::atomic<int64_t> reads_{0};
};

MaintenanceHooks BusyHooks(Clock* clock, bool diskFull) {
    MaintenanceHooks hooks = SystemMaintenanceHooks();
    hooks.clock = clock;
    hooks.idleWaitMs = 2;
    if (diskFull) {
        hooks.diskClusters = [](const char*, uint32_t* freeClusters, uint32_t* totalClusters) {
            *freeClusters = 1;
            *totalClusters = 1000;
            return true;
        };
    }
    return hooks;
}

void WriteRecords(LogEntry* log, int thread, int count) {
    for (int n = 0; n < count; ++n) {
        Trace(log, 0, test::kRecordFormat, thread, n, Payload(thread, n).c_str());
        if (n % 10 == 0) {
            // Above the threshold: must leave no trace.
            Trace(log, 1, "dropped t%d n%d", thread, n);
        }
    }
}

void RunThreads(int count, const std::function<void(int)>& body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back(body, t);
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

// The records of a file, all lines whole; a failure names the first bad line.
std::vector<Record> WholeRecords(const fs::path& file) {
    FileLines lines = test::SplitLines(ReadBytes(file));
    EXPECT_TRUE(lines.endsWhole) << file << " ends inside a line";
    std::vector<Record> records;
    for (size_t i = 0; i < lines.lines.size(); ++i) {
        Record r;
        if (!test::ParseRecord(lines.lines[i], &r)) {
            ADD_FAILURE() << file << " line " << i + 1
                          << " is not a whole record: " << lines.lines[i].substr(0, 120);
            break;
        }
        records.push_back(r);
    }
    return records;
}

// Each thread's numbers, in the order they appear.
std::map<int, std::vector<int>> ByThread(const std::vector<Record>& records) {
    std::map<int, std::vector<int>> out;
    for (const Record& r : records) {
        out[r.thread].push_back(r.number);
    }
    return out;
}

// True when the numbers are first, first + 1, ..., last.
bool Consecutive(const std::vector<int>& numbers, int first, int last) {
    if (numbers.size() != static_cast<size_t>(last - first + 1)) {
        return false;
    }
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] != first + static_cast<int>(i)) {
            return false;
        }
    }
    return true;
}

TEST(Stress, EightThreadsIntoOneLogKeepEveryLineWholeAndInOrder) {
    TempDir dir;
    RacingClock clock;
    LogRegistry registry(BusyHooks(&clock, false));
    LogEntry* log = registry.CreateLog(dir.Str().c_str(), "stress.log", INT32_MAX, 0);
    ASSERT_NE(log, nullptr);

    RunThreads(kThreads, [log](int t) { WriteRecords(log, t, kRecordsPerThread); });

    // Written through: the file is complete before the log is destroyed.
    std::vector<Record> records = WholeRecords(dir.Path() / "stress.log");
    EXPECT_EQ(records.size(), static_cast<size_t>(kThreads * kRecordsPerThread));
    auto byThread = ByThread(records);
    EXPECT_EQ(byThread.size(), static_cast<size_t>(kThreads));
    for (const auto& [thread, numbers] : byThread) {
        EXPECT_TRUE(Consecutive(numbers, 0, kRecordsPerThread - 1))
            << "thread " << thread << " has " << numbers.size() << " records, or out of order";
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "stress.log.bak"));
    std::printf("stress: %zu records from %d threads, every line whole and in order\n",
                records.size(), kThreads);
}

TEST(Stress, RotationUnderLoadSplitsNoRecord) {
    TempDir dir;
    RacingClock clock;
    LogRegistry registry(BusyHooks(&clock, false));
    LogEntry* log = registry.CreateLog(dir.Str().c_str(), "rotating.log", 1048576, 0);
    ASSERT_NE(log, nullptr);

    RunThreads(kThreads, [log](int t) { WriteRecords(log, t, kRecordsPerThread); });

    // Only the last two files are kept: the backup, then the current file.
    std::vector<Record> backup = WholeRecords(dir.Path() / "rotating.log.bak");
    std::vector<Record> current = WholeRecords(dir.Path() / "rotating.log");
    ASSERT_FALSE(backup.empty()) << "the load should have rotated the file";
    ASSERT_FALSE(current.empty());
    std::vector<Record> kept = backup;
    kept.insert(kept.end(), current.begin(), current.end());
    EXPECT_LT(kept.size(), static_cast<size_t>(kThreads * kRecordsPerThread));

    // Each thread's kept records run without a gap up to its last one: no
    // record went missing or was split between the two files.
    for (const auto& [thread, numbers] : ByThread(kept)) {
        ASSERT_FALSE(numbers.empty());
        EXPECT_TRUE(Consecutive(numbers, numbers.front(), kRecordsPerThread - 1))
            << "thread " << thread << " from " << numbers.front();
    }
    std::printf("rotation under load: %d records written, the last %zu kept whole in two files\n",
                kThreads * kRecordsPerThread, kept.size());
}

// Private logs created, written and destroyed by some threads, shared logs
// written by others, the disk limit and levels changed meanwhile, and the
// disk reported full so that the cleanup walks the log directories too.
TEST(Stress, LogsComingAndGoingBesideSharedOnesLeaveWholeFiles) {
    constexpr int kOwners = 3;
    constexpr int kLogsPerOwner = 40 / kDivisor + 2;
    constexpr int kOwnRecords = 150;
    constexpr int kSharers = 3;
    constexpr int kSharedRecords = 12000 / kDivisor;

    TempDir dir;
    // An archive for the cleanup to prune while everything runs.
    for (int day = 1; day <= 5; ++day) {
        fs::path archive = dir.Path() / "logfiles-2001/01" / ("2001-01-0" + std::to_string(day));
        fs::create_directories(archive);
        for (int f = 0; f < 30; ++f) {
            test::WriteBytes(archive / ("old" + std::to_string(f) + ".log"), "old\n");
        }
    }
    RacingClock clock;
    std::vector<std::string> shared = {"shared-a.log", "sub/shared-b.log"};
    {
        LogRegistry registry(BusyHooks(&clock, true));
        std::vector<LogEntry*> sharedLogs;
        for (const std::string& name : shared) {
            sharedLogs.push_back(registry.CreateLog(dir.Str().c_str(), name.c_str(), INT32_MAX, 5));
            ASSERT_NE(sharedLogs.back(), nullptr);
        }
        std::atomic<int> running{kOwners + kSharers};
        std::thread meddler([&] {
            const uint32_t limits[] = {0, 200, 500, 800, 950, 951, 0xFFFFFFFFu};
            for (int i = 0; running.load() > 0; ++i) {
                registry.SetLogDiskLimit(limits[i % 7]);
                // Thresholds that keep every level-0 record.
                LogRegistry::ChangeLevel(sharedLogs[i % 2], i % 10);
                std::this_thread::yield();
            }
        });
        RunThreads(kOwners + kSharers, [&](int t) {
            if (t < kSharers) {
                for (int n = 0; n < kSharedRecords; ++n) {
                    Trace(sharedLogs[n % 2], 0, test::kRecordFormat, t, n / 2,
                          Payload(t, n / 2).c_str());
                }
            } else {
                for (int k = 0; k < kLogsPerOwner; ++k) {
                    std::string name =
                        (k % 2 == 0 ? "" : "own/") + std::to_string(t) + "-" + std::to_string(k);
                    LogEntry* own = registry.CreateLog(dir.Str().c_str(), name.c_str(), 0, 0);
                    if (own == nullptr) {
                        ADD_FAILURE() << "cannot create " << name;
                        continue;
                    }
                    WriteRecords(own, t, kOwnRecords);
                    registry.DestroyLog(own);
                }
            }
            running.fetch_sub(1);
        });
        meddler.join();
    }
    // The registry is gone: every log was destroyed and its file closed.

    for (int t = kSharers; t < kSharers + kOwners; ++t) {
        for (int k = 0; k < kLogsPerOwner; ++k) {
            fs::path file = dir.Path() / ((k % 2 == 0 ? "" : "own/") + std::to_string(t) + "-" +
                                          std::to_string(k));
            auto byThread = ByThread(WholeRecords(file));
            ASSERT_EQ(byThread.size(), 1u) << file;
            EXPECT_TRUE(Consecutive(byThread[t], 0, kOwnRecords - 1)) << file;
        }
    }
    std::printf("logs coming and going: %d private logs of %d records, %d shared records\n",
                kOwners * kLogsPerOwner, kOwnRecords, kSharers * kSharedRecords);
    for (size_t s = 0; s < shared.size(); ++s) {
        auto byThread = ByThread(WholeRecords(dir.Path() / shared[s]));
        EXPECT_EQ(byThread.size(), static_cast<size_t>(kSharers)) << shared[s];
        for (const auto& [thread, numbers] : byThread) {
            EXPECT_TRUE(Consecutive(numbers, 0, kSharedRecords / 2 - 1))
                << shared[s] << " thread " << thread;
        }
    }
}

}  // namespace
}  // namespace vosk
