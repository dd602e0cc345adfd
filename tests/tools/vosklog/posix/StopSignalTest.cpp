// SIGTERM or SIGINT in mid-stream: vosklog writes every line that reached
// its pipe before the signal, whole and in order, and exits with 0.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/RecordLines.h"
#include "support/Stopwatch.h"
#include "support/TempDir.h"

namespace vosklog {
namespace {

namespace fs = std::filesystem;
using vosk::test::Eventually;
using vosk::test::kStampLength;
using vosk::test::TempDir;

// Each line leaves in one write below PIPE_BUF, so that the pipe holds
// whole lines only.
std::string Line(int i) {
    return "line " + std::to_string(i) + " %s%n " + std::string(static_cast<size_t>(i % 50), '-') +
           "\n";
}

class StopSignalTest : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override { signal(SIGPIPE, SIG_IGN); }

    void Start() {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const std::string directory = dir_.Str();
        pid_ = fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls until exec.
            if (dup2(fds[0], STDIN_FILENO) < 0) {
                _exit(126);
            }
            close(fds[0]);
            close(fds[1]);
            execl(VOSKLOG_PROGRAM, VOSKLOG_PROGRAM, "-d", directory.c_str(), "-n", "app.log", "-s",
                  "64M", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[0]);
        ASSERT_GT(pid_, 0);
        pipe_ = fds[1];
    }

    bool Write(int i) {
        const std::string line = Line(i);
        ssize_t n;
        do {
            n = write(pipe_, line.data(), line.size());
        } while (n < 0 && errno == EINTR);
        return n == static_cast<ssize_t>(line.size());
    }

    // The records' messages so far.
    std::vector<std::string> Messages() {
        std::vector<std::string> messages;
        for (const std::string& line :
             vosk::test::SplitLines(vosk::test::ReadBytes(dir_.Path() / "app.log")).lines) {
            messages.push_back(line.size() >= kStampLength ? line.substr(kStampLength) : line);
        }
        return messages;
    }

    // The exit status, or -1 when the program did not end in time.
    int Wait() {
        int status = -1;
        bool ended = Eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
        if (!ended) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            return -1;
        }
        return status;
    }

    // After the signal the program may take some of the lines written
    // later, never part of one and never with a gap.
    void ExpectLinesFrom0(int before, int total) {
        std::vector<std::string> messages = Messages();
        ASSERT_GE(messages.size(), static_cast<size_t>(before));
        ASSERT_LE(messages.size(), static_cast<size_t>(total));
        for (size_t i = 0; i < messages.size(); ++i) {
            std::string expected = Line(static_cast<int>(i));
            expected.pop_back();
            ASSERT_EQ(messages[i], expected) << "record " << i;
        }
    }

    TempDir dir_;
    pid_t pid_ = -1;
    int pipe_ = -1;
};

TEST_P(StopSignalTest, NoLineInThePipeBeforeTheSignalIsLost) {
    const int signalNumber = GetParam();
    for (int before : {2, 3000, 20000}) {
        SCOPED_TRACE(before);
        fs::remove(dir_.Path() / "app.log");
        fs::remove(dir_.Path() / "app.log.bak");
        Start();
        // The first record shows that the program catches signals.
        ASSERT_TRUE(Write(0));
        ASSERT_TRUE(Eventually([&] { return !Messages().empty(); }));
        for (int i = 1; i < before; ++i) {
            ASSERT_TRUE(Write(i));
        }
        ASSERT_EQ(kill(pid_, signalNumber), 0);
        // Lines go on coming while the signal is being handled.
        fcntl(pipe_, F_SETFL, fcntl(pipe_, F_GETFL) | O_NONBLOCK);
        int total = before;
        while (total < before + 2000 && Write(total)) {
            ++total;
        }
        int status = Wait();
        close(pipe_);
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
        ExpectLinesFrom0(before, total);
    }
}

TEST_P(StopSignalTest, AnIdleProgramStopsAtOnce) {
    Start();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(Write(i));
    }
    ASSERT_TRUE(Eventually([&] { return Messages().size() == 10; }));
    // Waiting for input, the pipe kept open: the signal alone ends it.
    ASSERT_EQ(kill(pid_, GetParam()), 0);
    int status = Wait();
    close(pipe_);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ExpectLinesFrom0(10, 10);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

}  // namespace
}  // namespace vosklog
