// Processes the reader's tests start, each its own, ended by its pid: the
// writers (vosklog fed through a pipe, a host of the library), the reader,
// and other followers (tail -F); and the tally of the records a reader
// printed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace vosklogread::test {

namespace fs = std::filesystem;

using Child = vosk::test::ChildProcess;
using vosk::test::RunProgram;

// "n <i> " and padding to length bytes with its line feed.
inline std::string NumberedLine(int n, size_t length) {
    std::string line = "n " + std::to_string(n) + " ";
    if (line.size() + 1 < length) {
        line.append(length - 1 - line.size(), 'p');
    }
    return line + "\n";
}

// Feeds lines [first, count) at linesPerSecond in batches every 10 ms (0:
// at once); the number after the last fed.
inline int FeedLines(Child* writer, int count, int linesPerSecond, size_t length, int first = 0) {
    using Clock = std::chrono::steady_clock;
    const int batch = linesPerSecond > 0 ? std::max(1, linesPerSecond / 100) : 2000;
    auto due = Clock::now();
    int next = first;
    while (next < count) {
        std::string text;
        for (int i = 0; i < batch && next < count; ++i) {
            text += NumberedLine(next++, length);
        }
        if (!writer->Write(text)) {
            break;
        }
        if (linesPerSecond > 0) {
            due += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(due);
        }
    }
    return next;
}

// The records of a reader's output, by their key: the first two words of
// the message ("n 17", "t3 n17"). A continuation line "  more of <key>"
// must come right after its record.
struct Tally {
    std::map<std::string, int> seen;
    std::vector<std::string> order;   // keys in output order
    std::vector<std::string> stamps;  // the stamps in output order
    int strayContinuations = 0;
    int unstamped = 0;

    static std::string KeyOf(const std::string& message) {
        const size_t first = message.find(' ');
        const size_t second = first == std::string::npos ? first : message.find(' ', first + 1);
        return message.substr(0, second);
    }

    void Add(const std::string& bytes) {
        std::string last;
        size_t at = 0;
        while (at < bytes.size()) {
            size_t end = bytes.find('\n', at);
            if (end == std::string::npos) {
                end = bytes.size();
            }
            const std::string line = bytes.substr(at, end - at);
            at = end + 1;
            const size_t close = line.find("] ");
            if (!line.empty() && line[0] == '[' && close != std::string::npos) {
                last = KeyOf(line.substr(close + 2));
                ++seen[last];
                order.push_back(last);
                stamps.push_back(line.substr(1, close - 1));
            } else if (line.rfind("  more of ", 0) == 0) {
                strayContinuations += line.substr(10) == last ? 0 : 1;
            } else {
                ++unstamped;
            }
        }
    }
    int Lost(const std::vector<std::string>& expected) const {
        int n = 0;
        for (const std::string& key : expected) {
            n += seen.count(key) == 0 ? 1 : 0;
        }
        return n;
    }
    int Repeated() const {
        int n = 0;
        for (const auto& [key, times] : seen) {
            n += times > 1 ? times - 1 : 0;
        }
        return n;
    }
};

// Runs vosklog-read on the log "app.log" in logs with extra options; the
// tally of what it printed. Its standard error goes to *err; without
// status its exit status is expected to be 0.
inline Tally ReadLog(const fs::path& logs, const std::vector<std::string>& extra,
                     std::string* err = nullptr, int* status = nullptr) {
    vosk::test::TempDir out;
    std::vector<std::string> argv = {VOSKLOG_READ_PROGRAM, "-d", logs.string(), "-n", "app.log"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    const int result = RunProgram(argv, out.Path() / "out", out.Path() / "err");
    if (status != nullptr) {
        *status = result;
    } else {
        EXPECT_EQ(result, 0) << vosk::test::ReadBytes(out.Path() / "err");
    }
    if (err != nullptr) {
        *err = vosk::test::ReadBytes(out.Path() / "err");
    }
    Tally tally;
    tally.Add(vosk::test::ReadBytes(out.Path() / "out"));
    return tally;
}

// What a follower (vosklog-read --follow, tail -F) has printed to out once
// every key is there, or after ten seconds, and a moment more for repeats
// to show; then it is stopped, its exit status in *status (if given).
inline Tally AwaitFollower(const fs::path& out, const std::vector<std::string>& keys,
                           Child* follower, int* status = nullptr) {
    Tally tally;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        tally = Tally();
        tally.Add(vosk::test::ReadBytes(out));
    } while (tally.Lost(keys) > 0 && std::chrono::steady_clock::now() < deadline);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int stopped = follower->Stop();
    if (status != nullptr) {
        *status = stopped;
    }
    tally = Tally();
    tally.Add(vosk::test::ReadBytes(out));
    return tally;
}

inline std::vector<std::string> NumberKeys(int count) {
    std::vector<std::string> keys;
    for (int i = 0; i < count; ++i) {
        keys.push_back("n " + std::to_string(i));
    }
    return keys;
}

inline std::vector<std::string> HostKeys(int threads, int records) {
    std::vector<std::string> keys;
    for (int k = 0; k < threads; ++k) {
        for (int i = 0; i < records; ++i) {
            keys.push_back("t" + std::to_string(k) + " n" + std::to_string(i));
        }
    }
    return keys;
}

// The archived files of the log in dir, plain ones only.
inline std::vector<fs::path> ArchivedFiles(const fs::path& dir) {
    std::vector<fs::path> files;
    if (!fs::exists(dir)) {
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && entry.path().parent_path() != dir &&
            name.find(".gz") == std::string::npos && name.find(".tmp") == std::string::npos) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Compresses file as the library does: the whole .gz under a temporary
// name, moved into place only when its name is free, then the plain file
// deleted; keep leaves the plain one too. The .gz keeps the file's time,
// as gzip's own.
inline bool Compress(const fs::path& file, bool keep) {
    const std::string f = file.string();
    const std::string script = "gzip -c '" + f + "' > '" + f + ".gz.tmp' && touch -r '" + f +
                               "' '" + f + ".gz.tmp' && if ln '" + f + ".gz.tmp' '" + f +
                               ".gz'; then rm -f '" + f + ".gz.tmp'" +
                               (keep ? "" : " '" + f + "'") + "; else rm -f '" + f + ".gz.tmp'; fi";
    return RunProgram({"/bin/sh", "-c", script}) == 0;
}

}  // namespace vosklogread::test
