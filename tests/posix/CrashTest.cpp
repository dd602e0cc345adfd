// A host killed at any moment loses no record whose call had returned.
//
// The host (host/ReliabilityHost.cpp, crash scenario) writes numbered
// records from two threads and reports every returned call on a pipe; it
// is killed with SIGKILL after a random number of reports, round after
// round (fixed seed). After each kill every reported record must be in the
// file as a whole line, each thread's records in order without a gap; the
// only thing allowed beyond them is one record cut short at the very end,
// the one that was being written when the kill came. The next run's first
// record moves that file to the backup untouched.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/RecordLines.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::Record;
using test::TempDir;

#ifndef VOSK_STRESS_DIVISOR
#define VOSK_STRESS_DIVISOR 1
#endif

constexpr int kRounds = 30;
// Reports before the kill, at most; fewer where a sanitizer slows writes.
constexpr int kMostReports = 4000 / VOSK_STRESS_DIVISOR;
constexpr int kThreads = 2;
constexpr unsigned kSeed = 20240611;

struct Child {
    pid_t pid = -1;
    int reports = -1;  // read end of the report pipe
};

Child StartHost(const std::string& directory) {
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe: " << errno;
        return {};
    }
    pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls until exec.
        if (dup2(fds[1], 3) < 0) {
            _exit(126);
        }
        if (fds[0] != 3) {
            close(fds[0]);
        }
        if (fds[1] != 3) {
            close(fds[1]);
        }
        std::string threads = std::to_string(kThreads);
        execl(VOSK_RELIABILITY_HOST, VOSK_RELIABILITY_HOST, "crash", VOSK_LIBRARY,
              directory.c_str(), threads.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        ADD_FAILURE() << "fork: " << errno;
        return {};
    }
    return Child{pid, fds[0]};
}

// Reads one report; false at the end of the pipe.
bool ReadReport(int fd, Record* r) {
    int report[2];
    size_t got = 0;
    while (got < sizeof report) {
        ssize_t n = read(fd, reinterpret_cast<char*>(report) + got, sizeof report - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += static_cast<size_t>(n);
    }
    r->thread = report[0];
    r->number = report[1];
    return true;
}

struct RoundResult {
    std::map<int, int> lastReported;  // per thread
    int reports = 0;
    bool killedBySignal = false;
};

// Lets the host report `target` records, kills it, then takes in the
// reports still in the pipe.
RoundResult RunRound(const std::string& directory, int target) {
    RoundResult result;
    Child child = StartHost(directory);
    if (child.pid < 0) {
        return result;
    }
    Record r;
    bool killed = false;
    while (ReadReport(child.reports, &r)) {
        result.lastReported[r.thread] = r.number;
        if (++result.reports == target && !killed) {
            kill(child.pid, SIGKILL);
            killed = true;
        }
    }
    close(child.reports);
    if (!killed) {
        kill(child.pid, SIGKILL);
    }
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.killedBySignal = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    return result;
}

// Checks the file a killed host left; returns the number of whole records
// and tells whether the kill cut the last one short.
size_t CheckCrashedFile(const std::string& bytes, const RoundResult& round, bool* cut) {
    *cut = false;
    test::FileLines file = test::SplitLines(bytes);
    std::map<int, int> next;  // per thread, the number expected next
    size_t whole = 0;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const std::string& line = file.lines[i];
        Record r;
        if (test::ParseRecord(line, &r)) {
            EXPECT_EQ(r.number, next[r.thread]) << "thread " << r.thread << " line " << i + 1;
            next[r.thread] = r.number + 1;
            ++whole;
            if (i + 1 < file.lines.size() || file.endsWhole) {
                continue;
            }
            // A last line without its line end was still being written.
            whole -= 1;
            next[r.thread] = r.number;
        }
        bool last = i + 1 == file.lines.size();
        bool inFlight = false;
        for (int t = test::kLongRecordThreads; t < test::kLongRecordThreads + kThreads; ++t) {
            inFlight = inFlight || test::IsRecordPrefix(line, Record{t, next[t]});
        }
        *cut = true;
        EXPECT_TRUE(last && inFlight)
            << "line " << i + 1 << " of " << file.lines.size()
            << " is neither whole nor the record in flight: " << line.substr(0, 100);
    }
    for (const auto& [thread, number] : round.lastReported) {
        EXPECT_GT(next[thread], number) << "thread " << thread << " reported record " << number
                                        << " but the file ends before it";
        // At most one record per thread returned without being reported.
        EXPECT_LE(next[thread], number + 2) << "thread " << thread;
    }
    return whole;
}

TEST(CrashConsistency, EveryReportedRecordSurvivesSigkill) {
    TempDir dir;
    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int> reportsBeforeKill(1, kMostReports);
    const fs::path file = dir.Path() / "crash.log";
    const fs::path backup = dir.Path() / "crash.log.bak";

    std::string previous;
    size_t records = 0;
    int kills = 0;
    int cuts = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        RoundResult result = RunRound(dir.Str(), reportsBeforeKill(random));
        ASSERT_TRUE(result.killedBySignal) << "the host ended by itself";
        ASSERT_GT(result.reports, 0) << "the host reported nothing";
        kills += 1;
        std::string bytes = test::ReadBytes(file);
        bool cut = false;
        records += CheckCrashedFile(bytes, result, &cut);
        cuts += cut ? 1 : 0;
        if (round > 0) {
            // The first record of this run moved the crashed file aside.
            EXPECT_TRUE(test::ReadBytes(backup) == previous)
                << "the backup differs from the file the killed host left";
        }
        previous = bytes;
    }
    std::printf("crash consistency: %d kills (%d cut a record short), %zu whole records checked\n",
                kills, cuts, records);
}

}  // namespace
}  // namespace vosk
