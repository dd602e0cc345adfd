// coreutils tail -F, the follower operators reach for first, on the live
// file of vosklog through more than 50 rotations at 20,000 lines/s, with
// the smallest and a larger size limit, with and without the day archive:
// every line is printed once. tail is started on the file once it exists;
// started earlier it does not use inotify, and docs/shipping.md says what
// that loses.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ReaderRun.h"
#include "support/TempDir.h"

namespace vosklogread {
namespace {

using test::Child;
using test::Tally;
namespace fs = std::filesystem;
using vosk::test::ReadBytes;
using vosk::test::TempDir;

constexpr char kTail[] = "/usr/bin/tail";
constexpr int kLinesPerSecond = 20000;
constexpr int kRotations = 52;

struct TailCase {
    const char* what;
    int sizeMiB;
    bool archive;
};

class TailTest : public ::testing::TestWithParam<TailCase> {};

TEST_P(TailTest, FollowsTheLiveFileThroughEveryRotation) {
    if (access(kTail, X_OK) != 0) {
        GTEST_SKIP() << "tail is not installed";
    }
    const TailCase& c = GetParam();
    // Lines long enough for the rotations to come within seconds.
    const size_t length = static_cast<size_t>(c.sizeMiB) * 512;
    const int lines = kRotations * (c.sizeMiB * 1024 * 1024 / static_cast<int>(length + 26));
    TempDir dir;
    const fs::path logs = dir.Path() / "logs";
    fs::create_directories(logs);
    const fs::path out = dir.Path() / "out";
    std::vector<std::string> argv = {VOSKLOG_PROGRAM,
                                     "-d",
                                     logs.string(),
                                     "-n",
                                     "app.log",
                                     "-s",
                                     std::to_string(c.sizeMiB) + "M"};
    if (c.archive) {
        argv.insert(argv.end(), {"--keep-days", "3"});
    }
    Child tail;
    {
        Child vosklog;
        ASSERT_TRUE(vosklog.Start(argv, {}, {}, true));
        // tail -F watches the file with inotify only when it exists at
        // tail's start (see docs/shipping.md).
        ASSERT_EQ(test::FeedLines(&vosklog, 1, 0, length), 1);
        const auto appeared = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!fs::exists(logs / "app.log") && std::chrono::steady_clock::now() < appeared) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_TRUE(tail.Start({kTail, "-F", "-n", "+1", (logs / "app.log").string()}, out,
                               dir.Path() / "err"));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(test::FeedLines(&vosklog, lines, kLinesPerSecond, length, 1), lines);
        EXPECT_EQ(vosklog.Wait(), 0);
    }
    const std::vector<std::string> keys = test::NumberKeys(lines);
    const Tally tally = test::AwaitFollower(out, keys, &tail);
    size_t files = test::ArchivedFiles(logs).size();
    std::printf("%s: %d lines, %d lost, %d repeated; %zu archived files\n", c.what, lines,
                tally.Lost(keys), tally.Repeated(), files);
    EXPECT_EQ(tally.Lost(keys), 0) << ReadBytes(dir.Path() / "err");
    EXPECT_EQ(tally.Repeated(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Tail, TailTest,
    ::testing::Values(TailCase{"limit_1M_archive", 1, true}, TailCase{"limit_1M", 1, false},
                      TailCase{"limit_4M_archive", 4, true}, TailCase{"limit_4M", 4, false}),
    [](const ::testing::TestParamInfo<TailCase>& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace vosklogread
