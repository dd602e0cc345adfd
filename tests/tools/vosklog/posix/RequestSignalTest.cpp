// The signals of its kind besides a stop: SIGHUP opens the path again
// (after a log rotation tool renamed the file), SIGALRM rotates now, and
// SIGUSR1, SIGUSR2 and SIGPIPE leave it running.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RunningTool.h"
#include "support/Stopwatch.h"
#include "support/TempDir.h"

namespace vosklog {
namespace {

namespace fs = std::filesystem;
using test::Messages;
using test::RunningTool;
using vosk::test::Eventually;
using vosk::test::ReadBytes;
using vosk::test::TempDir;

using Lines = std::vector<std::string>;

class RequestSignalTest : public ::testing::Test {
  protected:
    RequestSignalTest()
        : tool_({"-d", dir_.Str(), "-n", "app.log", "-s", "64M"}, dir_.Path() / "err.txt") {}

    fs::path File(const std::string& name = "app.log") const { return dir_.Path() / name; }
    // Writes the lines and waits until the file at the path holds them
    // after what it held.
    void WriteAndSee(const Lines& lines, const Lines& before = {}) {
        std::string text;
        for (const std::string& line : lines) {
            text += line + "\n";
        }
        ASSERT_TRUE(tool_.Write(text));
        Lines expected = before;
        expected.insert(expected.end(), lines.begin(), lines.end());
        ASSERT_TRUE(Eventually([&] { return Messages(File()) == expected; })) << ReadBytes(File());
    }
    void ExpectCleanEnd() {
        tool_.CloseInput();
        const int status = tool_.Wait();
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(ReadBytes(dir_.Path() / "err.txt"), "");
    }

    TempDir dir_;
    RunningTool tool_;
};

TEST_F(RequestSignalTest, HangupAfterARenamePutsTheNextLinesInANewFileAtThePath) {
    WriteAndSee({"a1", "a2"});
    fs::rename(File(), File("app.log.1"));
    ASSERT_TRUE(tool_.Signal(SIGHUP));
    WriteAndSee({"b1", "b2"});
    EXPECT_EQ(Messages(File("app.log.1")), (Lines{"a1", "a2"}));
    // Without a rename it goes on in the same file.
    ASSERT_TRUE(tool_.Signal(SIGHUP));
    WriteAndSee({"c1"}, {"b1", "b2"});
    ExpectCleanEnd();
}

TEST_F(RequestSignalTest, AlarmRotatesNowAndNotAnEmptyFile) {
    WriteAndSee({"a1", "a2"});
    ASSERT_TRUE(tool_.Signal(SIGALRM));
    ASSERT_TRUE(Eventually([&] { return Messages(File("app.log.bak")) == Lines{"a1", "a2"}; }));
    WriteAndSee({"b1"});
    ASSERT_TRUE(tool_.Signal(SIGALRM));
    ASSERT_TRUE(Eventually([&] { return Messages(File("app.log.bak")) == Lines{"b1"}; }));
    // Nothing written since: nothing to move.
    ASSERT_TRUE(tool_.Signal(SIGALRM));
    WriteAndSee({"c1"});
    EXPECT_EQ(Messages(File("app.log.bak")), (Lines{"b1"}));
    ExpectCleanEnd();
}

TEST_F(RequestSignalTest, UserSignalsAndABrokenPipeLeaveItRunning) {
    WriteAndSee({"first"});
    Lines seen = {"first"};
    for (int signal : {SIGUSR1, SIGUSR2, SIGPIPE, SIGUSR1}) {
        SCOPED_TRACE(signal);
        ASSERT_TRUE(tool_.Signal(signal));
        const std::string line = "after " + std::to_string(signal);
        WriteAndSee({line}, seen);
        seen.push_back(line);
    }
    ExpectCleanEnd();
}

}  // namespace
}  // namespace vosklog
