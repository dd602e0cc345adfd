// vosklog as a child process fed numbered lines at a steady pace through a
// pipe, and the count of those lines in the files it leaves behind.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace vosklog::test {

// "n <number> " and padding to about 60 bytes with the stamp.
inline std::string NumberedLine(int n) {
    return "n " + std::to_string(n) + " " + std::string(25, 'p') + "\n";
}

// A program with a pipe as its standard input (not inherited by other
// children, such as a shipper started meanwhile, which would hold it open
// after End), fed numbered lines.
class FeedingRun {
  public:
    FeedingRun() = default;
    ~FeedingRun() { End(); }
    FeedingRun(const FeedingRun&) = delete;
    FeedingRun& operator=(const FeedingRun&) = delete;

    bool Start(const std::vector<std::string>& argv) { return child_.Start(argv, {}, {}, true); }

    // Lines from next on, in batches every 10 ms, at linesPerSecond (0:
    // as fast as the pipe takes them), for durationMs.
    int Feed(int next, int linesPerSecond, int64_t durationMs) {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        const auto end = start + std::chrono::milliseconds(durationMs);
        const int batch = linesPerSecond > 0 ? linesPerSecond / 100 : 1000;
        auto due = start;
        while (Clock::now() < end) {
            std::string text;
            for (int i = 0; i < batch; ++i) {
                text += NumberedLine(next++);
            }
            if (!child_.Write(text)) {
                break;
            }
            if (linesPerSecond > 0) {
                due += std::chrono::milliseconds(10);
                std::this_thread::sleep_until(due);
            }
        }
        return next;
    }

    // count lines from next on, at once; the number after the last. A
    // line the pipe refused shows as lost.
    int FeedCount(int next, int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += NumberedLine(next++);
        }
        child_.Write(text);
        return next;
    }

    // Closes the input and waits for the program; its exit status.
    int End() { return child_.Wait(); }

  private:
    vosk::test::ChildProcess child_;
};

// How often each number occurs in the files, and the NUL bytes met.
struct NumberCount {
    std::map<int, int> seen;
    long nulBytes = 0;
    int lost(int total) const {
        int n = 0;
        for (int i = 0; i < total; ++i) {
            n += seen.count(i) == 0 ? 1 : 0;
        }
        return n;
    }
    int duplicated() const {
        int n = 0;
        for (const auto& [number, times] : seen) {
            n += times > 1 ? times - 1 : 0;
        }
        return n;
    }
    void Add(const std::string& bytes) {
        size_t at = 0;
        while (at < bytes.size()) {
            size_t end = bytes.find('\n', at);
            if (end == std::string::npos) {
                end = bytes.size();
            }
            const std::string line = bytes.substr(at, end - at);
            for (char c : line) {
                nulBytes += c == '\0' ? 1 : 0;
            }
            const size_t mark = line.find("n ");
            int number = -1;
            if (mark != std::string::npos && sscanf(line.c_str() + mark, "n %d ", &number) == 1) {
                ++seen[number];
            }
            at = end + 1;
        }
    }
};

}  // namespace vosklog::test
