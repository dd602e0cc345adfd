// vosklog as a child process fed numbered lines at a steady pace through a
// pipe, and the count of those lines in the files it leaves behind.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace vosklog::test {

// "n <number> " and padding to about 60 bytes with the stamp.
inline std::string NumberedLine(int n) {
    return "n " + std::to_string(n) + " " + std::string(25, 'p') + "\n";
}

// Starts a program with a pipe as its standard input.
class FeedingRun {
  public:
    FeedingRun() = default;
    ~FeedingRun() { End(); }
    FeedingRun(const FeedingRun&) = delete;
    FeedingRun& operator=(const FeedingRun&) = delete;

    bool Start(const std::vector<std::string>& argv) {
        int fds[2];
        // Not inherited by other children (a shipper started meanwhile),
        // which would hold the input open after End.
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return false;
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[0], STDIN_FILENO);
            close(fds[0]);
            close(fds[1]);
            execv(args[0], args.data());
            _exit(127);
        }
        close(fds[0]);
        pipe_ = fds[1];
        return pid_ > 0;
    }

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
            if (!WriteAll(text)) {
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
        WriteAll(text);
        return next;
    }

    // Closes the input and waits for the program; its exit status.
    int End() {
        if (pipe_ >= 0) {
            close(pipe_);
            pipe_ = -1;
        }
        int status = -1;
        if (pid_ > 0) {
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        return status;
    }

  private:
    bool WriteAll(const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = write(pipe_, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

    pid_t pid_ = -1;
    int pipe_ = -1;
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
