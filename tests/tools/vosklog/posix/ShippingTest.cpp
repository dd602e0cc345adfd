// docs/shipping.md's rsyslog configuration, tested: Debian's rsyslogd, run
// as a process of the test's own with a private configuration and work
// directory, ships vosklog's files (the day archive on, a new file at every
// 1 MiB) to one output file, which must hold every line exactly once.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
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

constexpr char kRsyslogd[] = "/usr/sbin/rsyslogd";
constexpr char kImfile[] = "/usr/lib/x86_64-linux-gnu/rsyslog/imfile.so";
constexpr int kLines = 60000;

// The configuration of docs/shipping.md, with the test's paths.
std::string Configuration(const fs::path& work, const fs::path& logs, const fs::path& out) {
    const std::string l = logs.string();
    const std::string keep = " deleteStateOnFileDelete=\"off\" persistStateAfterSubmission=\"on\"";
    return "global(workDirectory=\"" + work.string() +
           "\")\n"
           "module(load=\"imfile\" mode=\"inotify\")\n"
           "template(name=\"line\" type=\"string\" string=\"%msg%\\n\")\n"
           "ruleset(name=\"app\") {\n"
           "  action(type=\"omfile\" file=\"" +
           out.string() +
           "\" template=\"line\")\n"
           "}\n"
           "input(type=\"imfile\" file=\"" +
           l + "/app.log\" tag=\"app\" ruleset=\"app\" reopenOnTruncate=\"on\"" + keep +
           ")\n"
           "input(type=\"imfile\" file=\"" +
           l + "/app.log.bak\" tag=\"app\" ruleset=\"app\"" + keep +
           ")\n"
           "input(type=\"imfile\" file=\"" +
           l + "/logfiles-*/*/*/app.log.*\" tag=\"app\" ruleset=\"app\"" + keep + ")\n";
}

// rsyslogd in the foreground, its messages in a file; ended by its pid.
class Shipper {
  public:
    Shipper(const fs::path& config, const fs::path& dir) : config_(config), dir_(dir) {}
    ~Shipper() { Stop(); }
    Shipper(const Shipper&) = delete;
    Shipper& operator=(const Shipper&) = delete;

    bool Start() {
        const std::string config = config_.string();
        const std::string pidFile = (dir_ / "rsyslogd.pid").string();
        const std::string errors = (dir_ / "rsyslogd.err").string();
        pid_ = fork();
        if (pid_ == 0) {
            int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            dup2(fd, STDERR_FILENO);
            dup2(fd, STDOUT_FILENO);
            execl(kRsyslogd, kRsyslogd, "-n", "-f", config.c_str(), "-i", pidFile.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // Its watches are set up before the log's first file appears.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return pid_ > 0;
    }

    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    fs::path config_;
    fs::path dir_;
    pid_t pid_ = -1;
};

struct ShipCase {
    const char* what;
    int linesPerSecond;  // 0: as fast as vosklog takes them
    int stopAfterMs;     // the shipper is stopped for 5 s from then; -1: never
};

class ShippingTest : public ::testing::TestWithParam<ShipCase> {};

TEST_P(ShippingTest, EveryLineIsShippedExactlyOnce) {
    if (access(kRsyslogd, X_OK) != 0 || access(kImfile, R_OK) != 0) {
        GTEST_SKIP() << "rsyslog (with imfile) is not installed";
    }
    const ShipCase& c = GetParam();
    TempDir dir;
    const fs::path work = dir.Path() / "work";
    const fs::path logs = dir.Path() / "logs";
    const fs::path out = dir.Path() / "shipped.txt";
    fs::create_directories(work);
    fs::create_directories(logs);
    const fs::path config = dir.Path() / "rsyslog.conf";
    std::ofstream(config) << Configuration(work, logs, out);

    Shipper shipper(config, dir.Path());
    ASSERT_TRUE(shipper.Start());
    FeedingRun run;
    ASSERT_TRUE(run.Start(
        {VOSKLOG_PROGRAM, "-d", logs.string(), "-n", "app.log", "-s", "1M", "--keep-days", "3"}));
    std::thread feeder([&run, &c] {
        // The lines' own pace; at full speed in batches without pauses.
        const int64_t ms = c.linesPerSecond > 0 ? kLines * 1000LL / c.linesPerSecond : 0;
        int next = 0;
        if (ms > 0) {
            next = run.Feed(0, c.linesPerSecond, ms);
        }
        // Whatever the clock left over, at full speed.
        while (next < kLines) {
            next = run.FeedCount(next, kLines - next);
        }
    });
    if (c.stopAfterMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(c.stopAfterMs));
        shipper.Stop();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        ASSERT_TRUE(shipper.Start());
    }
    feeder.join();
    const int status = run.End();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // Until every line has arrived, or ten seconds.
    NumberCount count;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        count = NumberCount();
        count.Add(ReadBytes(out));
        if (count.lost(kLines) == 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // A moment for duplicates to show, then the last word.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    shipper.Stop();
    count = NumberCount();
    count.Add(ReadBytes(out));
    std::printf("%s: %d lines, %d lost, %d duplicated\n", c.what, kLines, count.lost(kLines),
                count.duplicated());
    EXPECT_EQ(count.lost(kLines), 0) << ReadBytes(dir.Path() / "rsyslogd.err");
    // rsyslog may ship the end of a file twice when the file changes name
    // while it reads: the input of the next name takes it up from the
    // position last kept, which can be behind what the input of the old
    // name read to the end (seen with other disk work running: the last
    // 117 to 220 lines of one file). Any other repeat is the files' fault:
    // each run of repeated lines must end at the last line of a file, and
    // no file may be repeated whole.
    std::set<int> lastLines;
    std::set<int> firstLines;
    for (const auto& entry : fs::recursive_directory_iterator(logs)) {
        if (entry.is_regular_file()) {
            NumberCount file;
            file.Add(ReadBytes(entry.path()));
            if (!file.seen.empty()) {
                firstLines.insert(file.seen.begin()->first);
                lastLines.insert(file.seen.rbegin()->first);
            }
        }
    }
    int runStart = -1;
    for (int i = 0; i <= kLines; ++i) {
        const auto it = count.seen.find(i);
        const bool repeated = i < kLines && it != count.seen.end() && it->second > 1;
        if (repeated && runStart < 0) {
            runStart = i;
        } else if (!repeated && runStart >= 0) {
            std::printf("lines %d to %d shipped twice\n", runStart, i - 1);
            EXPECT_EQ(lastLines.count(i - 1), 1u)
                << "lines " << runStart << " to " << i - 1 << " repeated, not at a file's end";
            EXPECT_EQ(firstLines.count(runStart), 0u)
                << "a whole file repeated: lines " << runStart << " to " << i - 1;
            runStart = -1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rsyslog, ShippingTest,
                         ::testing::Values(ShipCase{"paced", 20000, -1},
                                           ShipCase{"full_speed", 0, -1},
                                           ShipCase{"paced_shipper_stopped", 20000, 1000},
                                           ShipCase{"full_speed_shipper_stopped", 0, 100}),
                         [](const ::testing::TestParamInfo<ShipCase>& info) {
                             return std::string(info.param.what);
                         });

}  // namespace
}  // namespace vosklog
