// A disk that fills while vosklog runs, then empties: no line is lost or
// doubled, the writer of the pipe waits meanwhile, and standard error says
// so; with --drop-when-full the lines dropped are counted instead. The
// disk fills two ways: a small tmpfs (where mounting is permitted) and a
// file size limit that is lifted from outside.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
using test::Messages;
using test::RunningTool;
using vosk::test::Eventually;
using vosk::test::ReadBytes;
using vosk::test::TempDir;

std::string Line(int i) {
    char text[32];
    std::snprintf(text, sizeof(text), "line %06d ", i);
    return text + std::string(90, static_cast<char>('a' + i % 26));
}

std::string Lines(int first, int end) {
    std::string text;
    for (int i = first; i < end; ++i) {
        text += Line(i) + "\n";
    }
    return text;
}

enum class Full { kFileSizeLimit, kTmpfs };

// Where the log goes and how its disk fills and empties.
class Disk {
  public:
    Disk(Full how, const fs::path& base) : how_(how), at_(base / "disk") {
        fs::create_directories(at_);
        if (how_ == Full::kTmpfs) {
            mounted_ = mount("tmpfs", at_.c_str(), "tmpfs", 0, "size=2m") == 0;
            error_ = mounted_ ? "" : std::strerror(errno);
        }
    }
    ~Disk() {
        if (mounted_) {
            umount2(at_.c_str(), MNT_DETACH);
        }
    }
    Disk(const Disk&) = delete;
    Disk& operator=(const Disk&) = delete;

    // Empty when the disk can be used.
    std::string Unusable() const { return how_ == Full::kTmpfs && !mounted_ ? error_ : ""; }
    const fs::path& Path() const { return at_; }
    // The soft file size limit the program starts with.
    rlim_t StartLimit() const { return how_ == Full::kFileSizeLimit ? 16384 : 0; }

    // After the first records: a file size limit is full at once; a tmpfs
    // is filled up by a file of its own.
    void Fill() {
        if (how_ != Full::kTmpfs) {
            return;
        }
        std::FILE* filler = std::fopen((at_ / "filler").c_str(), "wb");
        ASSERT_NE(filler, nullptr);
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
               std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    void Empty(pid_t pid) {
        if (how_ == Full::kTmpfs) {
            fs::remove(at_ / "filler");
            return;
        }
        struct rlimit none = {RLIM_INFINITY, RLIM_INFINITY};
        ASSERT_EQ(prlimit(pid, RLIMIT_FSIZE, &none, nullptr), 0) << std::strerror(errno);
    }

  private:
    Full how_;
    fs::path at_;
    bool mounted_ = false;
    std::string error_;
};

class VosklogFullDiskTest : public ::testing::TestWithParam<Full> {
  protected:
    fs::path Err() const { return dir_.Path() / "err.txt"; }
    std::string ErrText() const { return ReadBytes(Err()); }

    TempDir dir_;
};

TEST_P(VosklogFullDiskTest, EveryLineLandsOnceInOrderWhileTheWriterWaits) {
    Disk disk(GetParam(), dir_.Path());
    if (!disk.Unusable().empty()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.Unusable();
    }
    const fs::path file = disk.Path() / "app.log";
    RunningTool tool({"-d", disk.Path().string(), "-n", "app.log", "-s", "64M"}, Err(),
                     disk.StartLimit());
    constexpr int kFirst = 20;
    constexpr int kTotal = 6000;  // 600 KB: more than the pipe and one read hold
    ASSERT_TRUE(tool.Write(Lines(0, kFirst)));
    ASSERT_TRUE(Eventually([&] { return Messages(file).size() == kFirst; }));
    disk.Fill();

    // The rest as far as the pipe takes it: it stops taking, for the
    // program reads no more once a line cannot be written.
    const std::string rest = Lines(kFirst, kTotal);
    size_t taken = 0;
    ASSERT_TRUE(Eventually([&] {
        taken += tool.WriteSome(rest.substr(taken));
        return ErrText().find("cannot write to") != std::string::npos;
    })) << ErrText();
    vosk::test::Stopwatch watch;
    while (watch.Ms() < 300) {
        taken += tool.WriteSome(rest.substr(taken));
    }
    EXPECT_LT(taken, rest.size());
    const auto sizeWhileFull = fs::file_size(file);
    EXPECT_EQ(tool.WriteSome(rest.substr(taken)), 0u);
    EXPECT_EQ(fs::file_size(file), sizeWhileFull);

    disk.Empty(tool.Pid());
    ASSERT_TRUE(tool.Write(rest.substr(taken)));
    tool.CloseInput();
    const int status = tool.Wait();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << ErrText();

    const std::vector<std::string> messages = Messages(file);
    ASSERT_EQ(messages.size(), static_cast<size_t>(kTotal));
    for (int i = 0; i < kTotal; ++i) {
        ASSERT_EQ(messages[static_cast<size_t>(i)], Line(i)) << "record " << i;
    }
    const std::string err = ErrText();
    EXPECT_NE(err.find(file.string()), std::string::npos) << err;
    EXPECT_NE(err.find(GetParam() == Full::kTmpfs ? "No space left on device" : "File too large"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("input was held for"), std::string::npos) << err;
    // One episode: one warning, one end.
    EXPECT_EQ(err.find("cannot write to"), err.rfind("cannot write to")) << err;
}

TEST_P(VosklogFullDiskTest, DropWhenFullCountsWhatItDropsAndNeverWaits) {
    Disk disk(GetParam(), dir_.Path());
    if (!disk.Unusable().empty()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.Unusable();
    }
    const fs::path file = disk.Path() / "app.log";
    RunningTool tool({"-d", disk.Path().string(), "-n", "app.log", "-s", "64M", "--drop-when-full"},
                     Err(), disk.StartLimit());
    constexpr int kFirst = 20;
    constexpr int kFull = 3000;
    constexpr int kTotal = 3100;
    ASSERT_TRUE(tool.Write(Lines(0, kFirst)));
    ASSERT_TRUE(Eventually([&] { return Messages(file).size() == kFirst; }));
    disk.Fill();
    // The program reads on: the pipe takes all of it, far more than it holds.
    const std::string full = Lines(kFirst, kFull);
    size_t taken = 0;
    ASSERT_TRUE(Eventually([&] {
        taken += tool.WriteSome(full.substr(taken));
        return taken == full.size();
    }));
    ASSERT_TRUE(Eventually([&] { return ErrText().find("dropping lines") != std::string::npos; }))
        << ErrText();
    disk.Empty(tool.Pid());
    ASSERT_TRUE(tool.Write(Lines(kFull, kTotal)));
    tool.CloseInput();
    const int status = tool.Wait();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << ErrText();

    // What was written is in order, the first and the last lines included;
    // what is missing is what was counted.
    const std::vector<std::string> messages = Messages(file);
    size_t next = 0;
    for (int i = 0; i < kTotal && next < messages.size(); ++i) {
        if (messages[next] == Line(i)) {
            ++next;
        }
    }
    EXPECT_EQ(next, messages.size()) << "written out of order, or not whole";
    ASSERT_GE(messages.size(), static_cast<size_t>(kFirst));
    EXPECT_EQ(messages.back(), Line(kTotal - 1));
    const std::string err = ErrText();
    unsigned long long dropped = 0;
    const size_t at = err.find("vosklog: ", err.find("lines dropped meanwhile"));
    ASSERT_NE(at, std::string::npos) << err;
    ASSERT_EQ(std::sscanf(err.c_str() + at, "vosklog: %llu lines dropped in all", &dropped), 1)
        << err;
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(dropped + messages.size(), static_cast<unsigned long long>(kTotal)) << err;
}

TEST_P(VosklogFullDiskTest, AStopWhileHeldExitsWithOneAndSaysHowManyLinesWereNotWritten) {
    Disk disk(GetParam(), dir_.Path());
    if (!disk.Unusable().empty()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.Unusable();
    }
    const fs::path file = disk.Path() / "app.log";
    RunningTool tool({"-d", disk.Path().string(), "-n", "app.log", "-s", "64M"}, Err(),
                     disk.StartLimit());
    constexpr int kFirst = 20;
    ASSERT_TRUE(tool.Write(Lines(0, kFirst)));
    ASSERT_TRUE(Eventually([&] { return Messages(file).size() == kFirst; }));
    disk.Fill();
    const std::string rest = Lines(kFirst, 6000);
    size_t taken = 0;
    ASSERT_TRUE(Eventually([&] {
        taken += tool.WriteSome(rest.substr(taken));
        return ErrText().find("cannot write to") != std::string::npos;
    })) << ErrText();
    ASSERT_TRUE(tool.Signal(SIGTERM));
    const int status = tool.Wait();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    // What was written is whole and in order; the rest was counted.
    const std::vector<std::string> messages = Messages(file);
    for (size_t i = 0; i < messages.size(); ++i) {
        ASSERT_EQ(messages[i], Line(static_cast<int>(i))) << "record " << i;
    }
    const std::string err = ErrText();
    const size_t at = err.find("vosklog: stopped while");
    ASSERT_NE(at, std::string::npos) << err;
    unsigned long long notWritten = 0;
    const size_t colon = err.find(": ", err.find(file.string(), at) + file.string().size());
    ASSERT_EQ(std::sscanf(err.c_str() + colon, ": %llu lines not written", &notWritten), 1) << err;
    EXPECT_GT(notWritten, 0u);
    EXPECT_LE(notWritten + messages.size(), static_cast<unsigned long long>(6000)) << err;
}

INSTANTIATE_TEST_SUITE_P(Fills, VosklogFullDiskTest,
                         ::testing::Values(Full::kFileSizeLimit, Full::kTmpfs),
                         [](const ::testing::TestParamInfo<Full>& info) {
                             return std::string(info.param == Full::kTmpfs ? "Tmpfs"
                                                                           : "FileSizeLimit");
                         });

}  // namespace
}  // namespace vosklog
