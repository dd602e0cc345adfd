// --on-rotate: the command runs once per rotation with the path the file
// moved to; one that fails or hangs is reported and never stops the lines.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RunningTool.h"
#include "support/RecordLines.h"
#include "support/Stopwatch.h"
#include "support/TempDir.h"

namespace vosklog {
namespace {

namespace fs = std::filesystem;
using test::Messages;
using test::RunningTool;
using vosk::test::Eventually;
using vosk::test::ReadBytes;
using vosk::test::SplitLines;
using vosk::test::TempDir;

// True when every child of pid has ended (a zombie not yet reaped
// included): a command that wrote its line may still be on its way out,
// and a move meanwhile would find it running.
bool NoCommandRunning(pid_t pid) {
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                           "/children");
    int child = 0;
    while (children >> child) {
        const std::string stat = ReadBytes("/proc/" + std::to_string(child) + "/stat");
        const size_t end = stat.rfind(')');
        if (end != std::string::npos && end + 2 < stat.size() && stat[end + 2] != 'Z') {
            return false;
        }
    }
    return true;
}

class OnRotateTest : public ::testing::Test {
  protected:
    std::unique_ptr<RunningTool> Start(const std::string& command, const std::string& size = "1M") {
        return std::make_unique<RunningTool>(
            std::vector<std::string>{"-d", dir_.Str(), "-n", "app.log", "-s", size, "--on-rotate",
                                     command},
            Err());
    }
    fs::path File(const std::string& name) const { return dir_.Path() / name; }
    fs::path Err() const { return dir_.Path() / "err.txt"; }
    std::string ErrText() const { return ReadBytes(Err()); }
    // Writes a line and waits for it in the file at the path.
    void WriteAndSee(RunningTool& tool, const std::string& line) {
        ASSERT_TRUE(tool.Write(line + "\n"));
        ASSERT_TRUE(Eventually([&] {
            std::vector<std::string> messages = Messages(File("app.log"));
            return !messages.empty() && messages.back() == line;
        })) << line;
    }
    int End(RunningTool& tool) {
        tool.CloseInput();
        const int status = tool.Wait();
        EXPECT_TRUE(WIFEXITED(status)) << status;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempDir dir_;
};

TEST_F(OnRotateTest, RunsOncePerRotationWithThePathMovedTo) {
    const fs::path runs = File("runs.txt");
    auto tool = Start("echo >> " + runs.string());
    const std::string movedTo = File("app.log.bak").string();
    // Rotations on request, each once its command has run.
    for (int i = 1; i <= 3; ++i) {
        WriteAndSee(*tool, "line " + std::to_string(i));
        ASSERT_TRUE(tool->Signal(SIGALRM));
        ASSERT_TRUE(Eventually([&] {
            return SplitLines(ReadBytes(runs)).lines.size() == size_t(i) &&
                   NoCommandRunning(tool->Pid());
        })) << ReadBytes(runs);
    }
    // A rotation for size, in mid-stream.
    std::string text;
    for (int i = 0; i < 12000; ++i) {
        text += "size " + std::to_string(i) + std::string(80, '-') + "\n";
    }
    ASSERT_TRUE(tool->Write(text));
    WriteAndSee(*tool, "last");
    ASSERT_TRUE(Eventually([&] { return SplitLines(ReadBytes(runs)).lines.size() == 4; }))
        << ReadBytes(runs);
    EXPECT_EQ(End(*tool), 0);
    const std::vector<std::string> expected(4, movedTo);
    EXPECT_EQ(SplitLines(ReadBytes(runs)).lines, expected);
    EXPECT_EQ(ErrText(), "");
}

TEST_F(OnRotateTest, AFailingCommandIsReportedAndLinesGoOn) {
    auto tool = Start("false");
    WriteAndSee(*tool, "before");
    ASSERT_TRUE(tool->Signal(SIGALRM));
    ASSERT_TRUE(Eventually([&] { return fs::exists(File("app.log.bak")); }));
    WriteAndSee(*tool, "after");
    // Reported at the next look after it ended.
    ASSERT_TRUE(Eventually([&] {
        tool->Write("more\n");
        return ErrText().find("exited with 1") != std::string::npos;
    })) << ErrText();
    EXPECT_EQ(End(*tool), 0);
    EXPECT_NE(ErrText().find(File("app.log.bak").string()), std::string::npos) << ErrText();
}

TEST_F(OnRotateTest, AHangingCommandNeverStopsLinesAndOneRunsAtATime) {
    const fs::path pidFile = File("hang.pid");
    // "$1" lands in the comment.
    auto tool = Start("echo $$ > " + pidFile.string() + "; exec sleep 30 #");
    WriteAndSee(*tool, "before");
    ASSERT_TRUE(tool->Signal(SIGALRM));
    ASSERT_TRUE(Eventually([&] { return !ReadBytes(pidFile).empty(); }));
    for (int i = 0; i < 100; ++i) {
        WriteAndSee(*tool, "while it hangs " + std::to_string(i));
    }
    // A second rotation while it runs gets no run of its own.
    ASSERT_TRUE(tool->Signal(SIGALRM));
    ASSERT_TRUE(Eventually([&] {
        return ErrText().find("still running; not run for") != std::string::npos;
    })) << ErrText();
    WriteAndSee(*tool, "after");
    vosk::test::Stopwatch watch;
    EXPECT_EQ(End(*tool), 0);
    // The end waits a short while for it, then leaves it.
    EXPECT_LT(watch.Ms(), 6000);
    EXPECT_NE(ErrText().find("still running; left to run"), std::string::npos) << ErrText();
    const int pid = std::stoi(ReadBytes(pidFile));
    EXPECT_EQ(kill(pid, SIGKILL), 0);
}

// The output of a shell command line.
std::string Output(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return text;
    }
    char buffer[65536];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        text.append(buffer, n);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return text;
}

// With --keep-days and --compress every archived file is a ".gz" that zcat
// and zgrep read; with the backup and the file they hold every line once,
// and the command gets each archived file's ".gz", where it stays.
TEST_F(OnRotateTest, WithCompressionTheCommandGetsTheGzipAndZcatReadsEveryFile) {
    const fs::path runs = File("runs.txt");
    auto tool = std::make_unique<RunningTool>(
        std::vector<std::string>{"-d", dir_.Str(), "-n", "app.log", "-s", "1M", "--keep-days", "3",
                                 "--compress", "--on-rotate", "echo >> " + runs.string()},
        Err());
    constexpr int kLines = 60000;
    std::string input;
    for (int i = 0; i < kLines; ++i) {
        input += "line " + std::to_string(i) + " of the compressed history, some words\n";
    }
    ASSERT_TRUE(tool->Write(input));
    ASSERT_EQ(End(*tool), 0) << ErrText();
    std::vector<std::string> archived;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.Path())) {
        if (entry.is_regular_file() && entry.path().parent_path() != dir_.Path()) {
            archived.push_back(entry.path().string());
        }
    }
    ASSERT_GE(archived.size(), 2u);
    std::string all;
    for (const std::string& file : archived) {
        EXPECT_EQ(fs::path(file).extension(), ".gz") << file;
        all += Output("zcat " + file);
        EXPECT_EQ(Output("zgrep -c 'of the compressed history' " + file + " | tr -d '\\n'"),
                  std::to_string(SplitLines(Output("zcat " + file)).lines.size()));
    }
    all += ReadBytes(File("app.log.bak")) + ReadBytes(File("app.log"));
    std::vector<int> numbers;
    for (const std::string& line : SplitLines(all).lines) {
        const size_t at = line.find("] line ");
        ASSERT_NE(at, std::string::npos) << line;
        numbers.push_back(std::stoi(line.substr(at + 7)));
    }
    std::sort(numbers.begin(), numbers.end());
    ASSERT_EQ(numbers.size(), static_cast<size_t>(kLines));
    for (int i = 0; i < kLines; ++i) {
        ASSERT_EQ(numbers[static_cast<size_t>(i)], i);
    }
    // One command at a time: a move while one runs is skipped, never
    // given another path.
    const std::vector<std::string> told = SplitLines(ReadBytes(runs)).lines;
    EXPECT_GE(told.size(), 1u);
    for (const std::string& path : told) {
        EXPECT_NE(std::find(archived.begin(), archived.end(), path), archived.end()) << path;
    }
}

// Archived files that the background pass compresses while the input
// waits (the first pass also sweeps the archive for plain files, and
// finds the ones just kept): each .gz is given to the command, or the
// skip is reported because one still runs; none goes untold.
TEST_F(OnRotateTest, EachFileCompressedInTheBackgroundIsRunOrReportedSkipped) {
    const fs::path runs = File("runs.txt");
    auto tool = std::make_unique<RunningTool>(
        std::vector<std::string>{"-d", dir_.Str(), "-n", "app.log", "-s", "1M", "--keep-days", "3",
                                 "--compress", "--on-rotate", "echo >> " + runs.string()},
        Err());
    std::string input;
    for (int i = 0; i < 60000; ++i) {
        input += "line " + std::to_string(i) + " of the compressed history, some words\n";
    }
    ASSERT_TRUE(tool->Write(input));
    const auto archived = [&] {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir_.Path())) {
            if (entry.is_regular_file() && entry.path().parent_path() != dir_.Path()) {
                files.push_back(entry.path().string());
            }
        }
        return files;
    };
    // Every line written and every archived file compressed before the end.
    ASSERT_TRUE(Eventually(
        [&] {
            const std::vector<std::string> files = archived();
            const std::vector<std::string> lines = Messages(File("app.log"));
            return files.size() >= 2 &&
                   std::all_of(
                       files.begin(), files.end(),
                       [](const std::string& f) { return fs::path(f).extension() == ".gz"; }) &&
                   !lines.empty() && lines.back().find("line 59999 ") == 0;
        },
        20000));
    ASSERT_EQ(End(*tool), 0) << ErrText();
    const std::vector<std::string> files = archived();
    const std::vector<std::string> told = SplitLines(ReadBytes(runs)).lines;
    const std::string err = ErrText();
    size_t skipped = 0;
    for (size_t at = err.find("not run for"); at != std::string::npos;
         at = err.find("not run for", at + 1)) {
        ++skipped;
    }
    EXPECT_GE(told.size(), 1u) << err;
    EXPECT_EQ(told.size() + skipped, files.size()) << err;
    for (const std::string& file : files) {
        const bool run = std::find(told.begin(), told.end(), file) != told.end();
        EXPECT_TRUE(run || err.find("not run for " + file) != std::string::npos) << file << err;
    }
}

}  // namespace
}  // namespace vosklog
