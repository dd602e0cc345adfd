// Loading, using and unloading the library with logs still registered:
// the unload stops the library's thread, writes out and closes every log,
// and leaves nothing behind. Under AddressSanitizer the host's exit runs
// LeakSanitizer, which fails the host (and so this test) on any leak.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/RecordLines.h"
#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;
using test::Record;
using test::TempDir;

// Runs the host's unload scenario; its output, and its exit status.
std::string RunUnload(const std::string& directory, int* status) {
    std::string command =
        std::string(VOSK_RELIABILITY_HOST) + " unload " + VOSK_LIBRARY + " '" + directory + "'";
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) {
        *status = -1;
        return {};
    }
    std::string text;
    char chunk[256];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, out)) {
        text.append(chunk, n);
    }
    *status = pclose(out);
    return text;
}

// The numbers of each thread's records in a file written by the host: all
// lines whole, raw text lines set apart.
std::map<int, std::vector<int>> Records(const fs::path& file, std::vector<std::string>* raw) {
    std::map<int, std::vector<int>> out;
    test::FileLines lines = test::SplitLines(test::ReadBytes(file));
    EXPECT_TRUE(lines.endsWhole) << file;
    for (const std::string& line : lines.lines) {
        Record r;
        if (test::ParseRecord(line, &r)) {
            out[r.thread].push_back(r.number);
        } else if (raw != nullptr) {
            raw->push_back(line);
        } else {
            ADD_FAILURE() << file << ": " << line.substr(0, 80);
        }
    }
    return out;
}

// Numbers first, first + 3, ... below 200: the host's writers send every
// third record to each of its three logs.
std::vector<int> EveryThird(int first) {
    std::vector<int> numbers;
    for (int n = first; n < 200; n += 3) {
        numbers.push_back(n);
    }
    return numbers;
}

TEST(Unload, WithLogsRegisteredLeavesNoThreadNoLeakAndEveryRecordWritten) {
    TempDir dir;
    int status = 0;
    std::string output = RunUnload(dir.Str(), &status);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the host failed (status " << status << "): " << output;

    int before = -1;
    int after = -1;
    char mapped[8] = "";
    ASSERT_EQ(std::sscanf(output.c_str(), "threads before %d after %d mapped %7s", &before, &after,
                          mapped),
              3)
        << output;
    EXPECT_EQ(after, before) << "a thread of the library outlived the unload";
    EXPECT_STREQ(mapped, "no") << "the library stayed in memory after the unload";

    std::vector<std::string> raw;
    const std::map<std::string, std::pair<fs::path, int>> logs = {
        {"kept", {dir.Path() / "kept.log", 0}},
        {"deep", {dir.Path() / "missing/sub/deep.log", 1}},
        {"gone", {dir.Path() / "gone.log", 2}},
    };
    for (const auto& [name, where] : logs) {
        SCOPED_TRACE(name);
        auto byThread = Records(where.first, name == "kept" ? &raw : nullptr);
        EXPECT_EQ(byThread.size(), 3u);
        for (const auto& [thread, numbers] : byThread) {
            EXPECT_EQ(numbers, EveryThird(where.second)) << "thread " << thread;
        }
    }
    EXPECT_EQ(raw, std::vector<std::string>{std::string(25, ' ') + "raw text pending at unload"});
}

}  // namespace
}  // namespace vosk
