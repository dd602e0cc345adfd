// What a long line costs vosklog in memory: its peak resident size
// (VmHWM), read while it runs, once everything written has reached the
// file. With the default longest line it stays bounded for a 50 MB line and
// for one that never ends; with --max-line 0 the whole line is held.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RunningTool.h"
#include "support/Stopwatch.h"
#include "support/TempDir.h"

namespace vosklog {
namespace {

namespace fs = std::filesystem;
using test::RunningTool;
using vosk::test::Eventually;
using vosk::test::TempDir;

constexpr int64_t kMiB = 1 << 20;

// The peak resident size of a running process, in bytes; -1 when unknown.
int64_t PeakResident(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoll(line.substr(6)) * 1024;
        }
    }
    return -1;
}

struct Case {
    const char* what;
    std::vector<std::string> arguments;
    int64_t lineBytes;
    bool lineEnd;
    // The peak must be below this, or (for a whole line held) above.
    int64_t bound;
    bool above;
};

class VosklogLongLineTest : public ::testing::TestWithParam<Case> {};

TEST_P(VosklogLongLineTest, PeakResidentSizeOfOneLongLine) {
    const Case& c = GetParam();
    TempDir dir;
    std::vector<std::string> arguments = {"-d", dir.Str(), "-n", "app.log", "-s", "1G"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    RunningTool tool(arguments, dir.Path() / "err.txt");
    const std::string block(kMiB, 'L');
    for (int64_t written = 0; written < c.lineBytes; written += kMiB) {
        ASSERT_TRUE(tool.Write(block));
    }
    if (c.lineEnd) {
        ASSERT_TRUE(tool.Write("\n"));
    }
    // Written when the file holds the line, less what may wait for the
    // line's end or its next piece.
    const fs::path file = dir.Path() / "app.log";
    ASSERT_TRUE(Eventually(
        [&] {
            std::error_code failure;
            return static_cast<int64_t>(fs::file_size(file, failure)) >= c.lineBytes - 16384;
        },
        20000));
    const int64_t peak = PeakResident(tool.Pid());
    ASSERT_GT(peak, 0);
    std::printf("%s: peak resident %.1f MiB\n", c.what, static_cast<double>(peak) / kMiB);
    if (c.above) {
        EXPECT_GT(peak, c.bound);
    } else {
        EXPECT_LT(peak, c.bound);
    }
    tool.CloseInput();
    EXPECT_EQ(tool.Wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, VosklogLongLineTest,
    ::testing::Values(
        Case{"a 50 MB line", {}, 50 * kMiB, true, 16 * kMiB, false},
        Case{"50 MB of a line without end", {}, 50 * kMiB, false, 16 * kMiB, false},
        // The measure sees a line held whole.
        Case{"a 20 MB line, --max-line 0", {"--max-line", "0"}, 20 * kMiB, true, 20 * kMiB, true}),
    [](const ::testing::TestParamInfo<Case>& info) {
        return std::string(info.index == 0 ? "Ended" : info.index == 1 ? "Endless" : "Whole");
    });

}  // namespace
}  // namespace vosklog
