// vosklog's files under the programs that operators run beside it: Debian's
// logrotate, in both of its modes, against a log being written, and the
// disk test on a small file system that is not the current directory's.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "FeedingRun.h"
#include "support/TempDir.h"

namespace vosklog {
namespace {

namespace fs = std::filesystem;
using test::FeedingRun;
using test::NumberCount;
using vosk::test::ReadBytes;
using vosk::test::TempDir;

constexpr char kLogrotate[] = "/usr/sbin/logrotate";

struct RotateCase {
    const char* mode;  // logrotate's directive
    int linesPerSecond;
    // Lines that may go missing per rotation: copytruncate loses what is
    // written between its copy and its truncation (its manual says so), at
    // most the batch that the feeder writes at once (every 10 ms).
    int mayLosePerRotation;
};

class LogrotateTest : public ::testing::TestWithParam<RotateCase> {};

// logrotate -f five times while 20,000 lines a second go in, with a 1 MiB
// size limit: every line is in exactly one file (but for copytruncate's
// own window), no file holds a NUL byte, and no rotation of the log's own
// came early (each part stays well below the limit, so there is no backup).
TEST_P(LogrotateTest, EveryRecordIsInExactlyOneFile) {
    if (access(kLogrotate, X_OK) != 0) {
        GTEST_SKIP() << "logrotate is not installed";
    }
    const RotateCase& c = GetParam();
    TempDir dir;
    const fs::path logs = dir.Path() / "logs";
    fs::create_directories(logs);
    const fs::path config = dir.Path() / "logrotate.conf";
    std::ofstream(config) << (logs / "app.log").string() << " {\n  rotate 100\n  " << c.mode
                          << "\n  missingok\n  nocompress\n}\n";
    const std::string rotate = std::string(kLogrotate) + " -f -s " +
                               (dir.Path() / "state").string() + " " + config.string() + " 2>" +
                               (dir.Path() / "logrotate.err").string();

    FeedingRun run;
    ASSERT_TRUE(run.Start({VOSKLOG_PROGRAM, "-d", logs.string(), "-n", "app.log", "-s", "1M"}));
    int next = run.Feed(0, c.linesPerSecond, 300);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(std::system(rotate.c_str()), 0) << ReadBytes(dir.Path() / "logrotate.err");
        next = run.Feed(next, c.linesPerSecond, 300);
    }
    const int status = run.End();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    NumberCount count;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(logs)) {
        count.Add(ReadBytes(entry.path()));
        ++files;
    }
    EXPECT_EQ(files, 6) << "the log and five rotated files";
    EXPECT_FALSE(fs::exists(logs / "app.log.bak")) << "a rotation of the log's own came early";
    EXPECT_EQ(count.nulBytes, 0);
    EXPECT_LE(count.lost(next), 5 * c.mayLosePerRotation) << "of " << next;
    std::printf("%s: %d lines, %d lost, %d duplicated\n", c.mode, next, count.lost(next),
                count.duplicated());
    EXPECT_EQ(count.duplicated(), 0) << "of " << next;
}

INSTANTIATE_TEST_SUITE_P(Modes, LogrotateTest,
                         ::testing::Values(RotateCase{"copytruncate", 20000, 200},
                                           RotateCase{"create", 20000, 0}),
                         [](const ::testing::TestParamInfo<RotateCase>& info) {
                             return std::string(info.param.mode);
                         });

// The disk test measures the disk of the directory it would prune, not the
// current directory's. A 4 MiB file system, filled to 90% by an archived
// day, is mounted in a private mount namespace; vosklog runs from another
// directory (the roomy disk) with the log on it, and then the other way
// round.
TEST(DiskOfTheLogs, IsTheDiskThatIsMeasured) {
    if (access("/usr/bin/unshare", X_OK) != 0) {
        GTEST_SKIP() << "unshare is not installed";
    }
    TempDir dir;
    const fs::path small = dir.Path() / "small";
    const fs::path roomy = dir.Path() / "roomy";
    fs::create_directories(small);
    fs::create_directories(roomy / "logs/logfiles-2001/01/2001-01-01");
    std::ofstream(roomy / "logs/logfiles-2001/01/2001-01-01/old.log") << "old\n";
    const std::string script =
        "set -e\n"
        "mount -t tmpfs -o size=4m tmpfs \"$1\" 2>/dev/null || exit 77\n"
        "mkdir -p \"$1/logs/logfiles-2001/01/2001-01-01\"\n"
        "head -c 3800000 /dev/zero > \"$1/logs/logfiles-2001/01/2001-01-01/old.log\"\n"
        "run() { (echo one; sleep 2) | (cd \"$1\" && \"$3\" -d \"$2\" -n app.log --disk-limit "
        "800); "
        "}\n"
        // The logs on the full disk, the current directory on the roomy one.
        "run \"$4\" \"$1/logs\" \"$3\"\n"
        "test -e \"$1/logs/logfiles-2001/01/2001-01-01\" && echo small:kept || echo small:pruned\n"
        // The logs on the roomy disk, the current directory on the full one.
        "run \"$1\" \"$4/logs\" \"$3\"\n"
        "test -e \"$4/logs/logfiles-2001/01/2001-01-01\" && echo roomy:kept || echo roomy:pruned\n";
    const fs::path scriptFile = dir.Path() / "disk.sh";
    std::ofstream(scriptFile) << script;
    const fs::path out = dir.Path() / "out";
    const std::string command = "/usr/bin/unshare -m --propagation private sh " +
                                scriptFile.string() + " " + small.string() + " unused " +
                                VOSKLOG_PROGRAM + " " + roomy.string() + " > " + out.string() +
                                " 2>&1";
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && (WEXITSTATUS(status) == 77 || WEXITSTATUS(status) == 1) &&
        ReadBytes(out).empty()) {
        GTEST_SKIP() << "a file system cannot be mounted here";
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadBytes(out);
    // The day that went is named on standard error, with the disk's use.
    const std::string text = ReadBytes(out);
    int used = 0;
    const size_t at = text.find("disk at ");
    ASSERT_NE(at, std::string::npos) << text;
    ASSERT_EQ(std::sscanf(text.c_str() + at, "disk at %d", &used), 1) << text;
    EXPECT_GT(used, 800);
    EXPECT_EQ(text, "vosklog: pruned " + small.string() +
                        "/logs/logfiles-2001/01/2001-01-01: 1 file, 3800000 bytes, folder "
                        "removed: disk at " +
                        std::to_string(used) +
                        " per mille, over its limit of 800\n"
                        "small:pruned\nroomy:kept\n");
}

}  // namespace
}  // namespace vosklog
