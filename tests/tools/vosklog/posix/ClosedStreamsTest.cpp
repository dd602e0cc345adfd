// vosklog started with one of its standard descriptors closed: its own
// pipes and files never take the closed number, a closed standard input is
// an empty one, and the others change nothing. A standard input that cannot
// be read has an exit code of its own.
#include <gtest/gtest.h>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/RecordLines.h"
#include "support/Stopwatch.h"
#include "support/TempDir.h"

namespace vosklog {
namespace {

namespace fs = std::filesystem;
using vosk::test::TempDir;

// The exit code, or -1 when the program had not ended after 10 s (it is
// then killed).
int WaitBounded(pid_t pid) {
    int status = 0;
    const bool ended =
        vosk::test::Eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

TEST(ClosedStreams, NoDescriptorOfTheProgramStandsInForAClosedOne) {
    for (int closed : {0, 1, 2}) {
        SCOPED_TRACE("descriptor " + std::to_string(closed) + " closed");
        TempDir dir;
        int input[2];
        ASSERT_EQ(pipe(input), 0);
        const std::string directory = dir.Str();
        pid_t pid = fork();
        if (pid == 0) {
            // Only async-signal-safe calls until exec.
            if (dup2(input[0], STDIN_FILENO) < 0) {
                _exit(126);
            }
            close(input[0]);
            close(input[1]);
            close(closed);
            execl(VOSKLOG_PROGRAM, VOSKLOG_PROGRAM, "-d", directory.c_str(), "-n", "app.log",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        close(input[0]);
        if (closed != 0) {
            const char lines[] = "first\nsecond\n";
            EXPECT_EQ(write(input[1], lines, sizeof lines - 1),
                      static_cast<ssize_t>(sizeof lines - 1));
        }
        close(input[1]);
        EXPECT_EQ(WaitBounded(pid), 0);
        if (closed == 0) {
            EXPECT_FALSE(fs::exists(dir.Path() / "app.log")) << "nothing to write";
            continue;
        }
        const std::string file = vosk::test::ReadBytes(dir.Path() / "app.log");
        EXPECT_NE(file.find("] first\n"), std::string::npos) << file;
        EXPECT_NE(file.find("] second\n"), std::string::npos) << file;
    }
}

TEST(ClosedStreams, AStandardInputThatCannotBeReadExitsWithThree) {
    TempDir dir;
    // A directory opens for reading but every read of it fails.
    const std::string command = std::string(VOSKLOG_PROGRAM) + " -d " + dir.Str() +
                                " -n app.log < " + dir.Str() + " 2> " + dir.Str("err.txt");
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_NE(vosk::test::ReadBytes(dir.Path() / "err.txt").find("could not be read"),
              std::string::npos);
}

}  // namespace
}  // namespace vosklog
