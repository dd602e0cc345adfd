// vosklog-read --follow started before the writer, through many rotations
// with the day archive on while the archived files are compressed (and
// their plain files deleted) as they arrive, by the test or by the writer
// itself (vosklog --compress, SL_OPTION_COMPRESS): every record is printed
// exactly once, also when the reader is stopped (SIGSTOP) across several
// rotations, which a follower of the name alone cannot survive. What the
// writer left, read with zcat, holds every record once too.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <atomic>
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

enum class Compressor {
    kNone,
    kTest,    // the test compresses archived files as they arrive
    kWriter,  // the writer's own option
};

struct FollowCase {
    const char* what;
    bool host;  // the four-thread host; otherwise vosklog
    Compressor compress;
    int pauseAtMs;  // the reader is stopped for 1.5 s from then; -1: never
};

constexpr int kLines = 100000;       // vosklog: 20,000 lines/s for 5 s
constexpr int kLineLength = 200;     // about four rotations a second at 1 MiB
constexpr int kHostRecords = 15000;  // per thread

class FollowTest : public ::testing::TestWithParam<FollowCase> {};

TEST_P(FollowTest, EveryRecordOnceThroughRotationsAndCompression) {
    const FollowCase& c = GetParam();
    TempDir dir;
    const fs::path logs = dir.Path() / "logs";
    fs::create_directories(logs);
    const fs::path out = dir.Path() / "out";
    Child reader;
    ASSERT_TRUE(
        reader.Start({VOSKLOG_READ_PROGRAM, "-d", logs.string(), "-n", "app.log", "--follow"}, out,
                     dir.Path() / "err"));

    std::atomic<bool> writing{true};
    std::thread compressor([&] {
        while (c.compress == Compressor::kTest && writing.load()) {
            for (const fs::path& file : test::ArchivedFiles(logs)) {
                test::Compress(file, false);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::thread pauser([&] {
        if (c.pauseAtMs >= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseAtMs));
            kill(reader.Pid(), SIGSTOP);
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            kill(reader.Pid(), SIGCONT);
        }
    });
    std::vector<std::string> keys;
    if (c.host) {
        // Paused every 100 records, so that the writing takes seconds.
        std::vector<std::string> argv = {
            VOSK_READER_HOST, VOSK_LIBRARY, logs.string(), "4", std::to_string(kHostRecords), "3"};
        if (c.compress == Compressor::kWriter) {
            argv.push_back("compress");
        }
        EXPECT_EQ(test::RunProgram(argv), 0);
        keys = test::HostKeys(4, kHostRecords);
    } else {
        Child vosklog;
        std::vector<std::string> argv = {
            VOSKLOG_PROGRAM, "-d", logs.string(), "-n", "app.log", "-s", "1M", "--keep-days", "3"};
        if (c.compress == Compressor::kWriter) {
            argv.push_back("--compress");
        }
        ASSERT_TRUE(vosklog.Start(argv, {}, {}, true));
        EXPECT_EQ(test::FeedLines(&vosklog, kLines, 20000, kLineLength), kLines);
        EXPECT_EQ(vosklog.Wait(), 0);
        keys = test::NumberKeys(kLines);
    }
    writing = false;
    compressor.join();
    pauser.join();
    int status = -1;
    const Tally tally = test::AwaitFollower(out, keys, &reader, &status);
    const size_t archived = test::ArchivedFiles(logs).size();
    std::printf("%s: %zu records, %d lost, %d repeated; %zu plain archived files left\n", c.what,
                keys.size(), tally.Lost(keys), tally.Repeated(), archived);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(tally.Lost(keys), 0) << ReadBytes(dir.Path() / "err");
    EXPECT_EQ(tally.Repeated(), 0);
    EXPECT_EQ(tally.strayContinuations, 0);
    EXPECT_EQ(tally.unstamped, 0);

    // Every file left, the ".gz" ones through zcat.
    Tally files;
    size_t compressed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(logs)) {
        const fs::path& file = entry.path();
        if (!entry.is_regular_file() || file.extension() == ".tmp") {
            continue;
        }
        if (file.extension() == ".gz") {
            ++compressed;
            ASSERT_EQ(test::RunProgram({"/bin/sh", "-c", "zcat -- \"$0\"", file.string()},
                                       dir.Path() / "zcat"),
                      0)
                << file;
            files.Add(ReadBytes(dir.Path() / "zcat"));
        } else {
            files.Add(ReadBytes(file));
        }
    }
    if (c.compress != Compressor::kNone) {
        EXPECT_GT(compressed, 0u);
    }
    EXPECT_EQ(files.Lost(keys), 0);
    EXPECT_EQ(files.Repeated(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Followers, FollowTest,
    ::testing::Values(
        FollowCase{"vosklog", false, Compressor::kNone, -1},
        FollowCase{"vosklog_compressed", false, Compressor::kTest, -1},
        FollowCase{"vosklog_compressed_reader_stopped", false, Compressor::kTest, 1500},
        FollowCase{"vosklog_compress_option", false, Compressor::kWriter, -1},
        FollowCase{"vosklog_compress_option_reader_stopped", false, Compressor::kWriter, 1500},
        FollowCase{"host_4_threads_compressed", true, Compressor::kTest, -1},
        FollowCase{"host_4_threads_compressed_reader_stopped", true, Compressor::kTest, 1000},
        FollowCase{"host_4_threads_compress_option", true, Compressor::kWriter, -1}),
    [](const ::testing::TestParamInfo<FollowCase>& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace vosklogread
