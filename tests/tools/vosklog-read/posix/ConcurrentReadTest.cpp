// vosklog-read run again and again while vosklog writes, rotates, moves
// files into the archive and compresses them there (--compress): each
// run prints the records written so far exactly once, in order, with no
// gap, and a range from a record read before prints exactly the records
// from it on.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ReaderRun.h"
#include "support/TempDir.h"

namespace vosklogread {
namespace {

using test::Child;
using test::ReadLog;
using test::Tally;
namespace fs = std::filesystem;
using vosk::test::TempDir;

constexpr int kLines = 80000;  // 20,000 lines/s for 4 s
constexpr int kLineLength = 200;

// The numbers "n <i>" in output order; -1 for a record of another form.
std::vector<int> Numbers(const Tally& tally) {
    std::vector<int> numbers;
    for (const std::string& key : tally.order) {
        numbers.push_back(key.rfind("n ", 0) == 0 ? std::stoi(key.substr(2)) : -1);
    }
    return numbers;
}

// Empty when numbers are from, from + 1, ... without gap or repeat;
// otherwise where they are not.
std::string Consecutive(const std::vector<int>& numbers, int from) {
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] != from + static_cast<int>(i)) {
            return "at " + std::to_string(i) + " of " + std::to_string(numbers.size()) + ": " +
                   std::to_string(numbers[i]) + " after " +
                   (i > 0 ? std::to_string(numbers[i - 1]) : "the start");
        }
    }
    return "";
}

TEST(ConcurrentReadTest, EveryRunPrintsWhatIsWrittenOnceWhileTheArchiveIsCompressed) {
    TempDir dir;
    const fs::path logs = dir.Path() / "logs";
    fs::create_directories(logs);
    Child vosklog;
    ASSERT_TRUE(vosklog.Start({VOSKLOG_PROGRAM, "-d", logs.string(), "-n", "app.log", "-s", "1M",
                               "--keep-days", "3", "--compress"},
                              {}, {}, true));
    std::atomic<bool> writing{true};
    std::thread feeder([&] {
        EXPECT_EQ(test::FeedLines(&vosklog, kLines, 20000, kLineLength), kLines);
        writing = false;
    });
    int runs = 0;
    int ranged = 0;
    int compressedSeen = 0;
    std::string since;
    int sinceNumber = -1;
    while (writing.load()) {
        std::string err;
        if (since.empty()) {
            const Tally all = ReadLog(logs, {}, &err);
            const std::vector<int> numbers = Numbers(all);
            EXPECT_EQ(Consecutive(numbers, 0), "") << "run " << runs;
            // A range from the middle of what is there; the cut at the
            // first record of its stamp.
            if (numbers.size() > 1000) {
                size_t cut = numbers.size() / 2;
                while (cut > 0 && all.stamps[cut - 1] == all.stamps[cut]) {
                    --cut;
                }
                since = all.stamps[cut];
                sinceNumber = static_cast<int>(cut);
            }
        } else {
            const std::vector<int> numbers = Numbers(ReadLog(logs, {"--since", since}, &err));
            EXPECT_FALSE(numbers.empty());
            EXPECT_EQ(Consecutive(numbers, sinceNumber), "") << "run " << runs;
            ++ranged;
        }
        EXPECT_EQ(err, "");
        for (const auto& entry : fs::recursive_directory_iterator(logs)) {
            compressedSeen += entry.path().extension() == ".gz" ? 1 : 0;
        }
        ++runs;
    }
    feeder.join();
    ASSERT_EQ(vosklog.Wait(), 0);
    std::printf("%d runs while writing, %d of them ranged; %d .gz seen meanwhile\n", runs, ranged,
                compressedSeen);
    EXPECT_GT(ranged, 0);
    EXPECT_GT(compressedSeen, 0);
    EXPECT_EQ(Consecutive(Numbers(ReadLog(logs, {})), 0), "");
    EXPECT_EQ(Numbers(ReadLog(logs, {})).size(), static_cast<size_t>(kLines));
}

}  // namespace
}  // namespace vosklogread
