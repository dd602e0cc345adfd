// A fall-back of the clock while vosklog writes: a private zone rule (the
// TZ variable, given to the writer and the reader) sets the clock back an
// hour two seconds into the run, so that the local stamps and the older
// archive names of the hour after it repeat those of the hour before. The
// reader still prints every record once, in the order written; ranges
// given with their offsets split the records exactly; a local stamp of
// the repeated hour is said to be ambiguous and taken so that the range
// holds both readings. Compressed, the archive reads the same.
// With vosklog compressing its own archive, in every stamp form, the
// archived files' names sort in the order they were made and zcat reads
// them all.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "ReaderRun.h"
#include "support/TempDir.h"
#include "support/ZoneRule.h"

namespace vosklogread {
namespace {

using test::Child;
using test::ReadLog;
using test::Tally;
namespace fs = std::filesystem;
using vosk::test::FallBackRule;
using vosk::test::ReadBytes;
using vosk::test::TempDir;
using vosk::test::ZoneRule;

constexpr int kLines = 80000;  // 20,000 lines/s for 4 s
constexpr int kLineLength = 200;
constexpr int kFallBackAfterS = 2;

// The numbers of the keys "n <i>" in order.
std::vector<int> Numbers(const Tally& tally) {
    std::vector<int> numbers;
    for (const std::string& key : tally.order) {
        numbers.push_back(std::stoi(key.substr(2)));
    }
    return numbers;
}

TEST(FallBackTest, EveryRecordOnceInWrittenOrderAndRangesAcrossTheRepeatedHour) {
    const std::string rule = FallBackRule(time(nullptr) + kFallBackAfterS);
    if (rule.empty()) {
        GTEST_SKIP() << "no Jn day for today";
    }
    ZoneRule zone(rule);
    TempDir dir;
    const fs::path logs = dir.Path() / "logs";
    fs::create_directories(logs);
    {
        Child vosklog;
        ASSERT_TRUE(vosklog.Start(
            {VOSKLOG_PROGRAM, "-d", logs.string(), "-n", "app.log", "-s", "1M", "--keep-days", "3"},
            {}, {}, true));
        EXPECT_EQ(test::FeedLines(&vosklog, kLines, 20000, kLineLength), kLines);
        ASSERT_EQ(vosklog.Wait(), 0);
    }
    const std::vector<std::string> keys = test::NumberKeys(kLines);

    // One writer: the order written is the order in time.
    std::string err;
    const Tally all = ReadLog(logs, {}, &err);
    EXPECT_EQ(all.Lost(keys), 0);
    EXPECT_EQ(all.Repeated(), 0);
    const std::vector<int> numbers = Numbers(all);
    ASSERT_EQ(numbers.size(), static_cast<size_t>(kLines));
    for (int i = 0; i < kLines; ++i) {
        ASSERT_EQ(numbers[i], i) << "out of order at " << i << " (" << all.stamps[i] << ")";
    }
    // Where the stamps go back an hour.
    size_t back = 0;
    for (size_t i = 1; i < all.stamps.size() && back == 0; ++i) {
        back = all.stamps[i] < all.stamps[i - 1] ? i : 0;
    }
    ASSERT_GT(back, 0u) << "the clock did not go back during the run";
    std::printf("fall-back after record %zu: %s then %s; %zu archived files\n", back,
                all.stamps[back - 1].c_str(), all.stamps[back].c_str(),
                test::ArchivedFiles(logs).size());

    // Cuts with offsets: summer time before the fall-back, winter after.
    // A cut at a record's stamp starts with the first record of that stamp.
    const auto first = [&all](size_t i) {
        while (i > 0 && all.stamps[i - 1] == all.stamps[i]) {
            --i;
        }
        return i;
    };
    const size_t cut1 = first(back / 2);
    const size_t cut3 = first((back + kLines) / 2);
    const std::vector<std::vector<std::string>> ranges = {
        {"--until", all.stamps[cut1] + " +02:00"},
        {"--since", all.stamps[cut1] + " +02:00", "--until", "[" + all.stamps[back] + " +01:00]"},
        {"--since", "[" + all.stamps[back] + " +01:00]", "--until",
         all.stamps[cut3].substr(0, 10) + "T" + all.stamps[cut3].substr(11) + "+0100"},
        {"--since", all.stamps[cut3] + " +01:00"}};
    const std::vector<std::pair<size_t, size_t>> expected = {
        {0, cut1}, {cut1, back}, {back, cut3}, {cut3, kLines}};
    for (size_t r = 0; r < ranges.size(); ++r) {
        const std::vector<int> piece = Numbers(ReadLog(logs, ranges[r], &err));
        std::vector<int> want;
        for (size_t i = expected[r].first; i < expected[r].second; ++i) {
            want.push_back(static_cast<int>(i));
        }
        EXPECT_EQ(piece, want) << "range " << r;
    }

    // Compressed, the archive reads the same.
    for (const fs::path& file : test::ArchivedFiles(logs)) {
        ASSERT_TRUE(test::Compress(file, false));
    }
    EXPECT_EQ(Numbers(ReadLog(logs, {}, &err)), numbers);

    // The first stamp after the fall-back, without its zone: the hour
    // happened twice. --until takes the second: everything before it.
    const Tally before = ReadLog(logs, {"--until", all.stamps[back]}, &err);
    EXPECT_NE(err.find("happened twice"), std::string::npos) << err;
    EXPECT_EQ(before.order.size(), back);
    // --since takes the first, an hour earlier: everything.
    const Tally since = ReadLog(logs, {"--since", all.stamps[back]}, &err);
    EXPECT_NE(err.find("happened twice"), std::string::npos) << err;
    EXPECT_EQ(since.order.size(), static_cast<size_t>(kLines));
}

// The records of the files in order, as zcat and a plain read give them.
Tally ReadFiles(const std::vector<fs::path>& files) {
    TempDir out;
    Tally tally;
    for (const fs::path& file : files) {
        if (file.extension() == ".gz") {
            EXPECT_EQ(test::RunProgram({"/bin/sh", "-c", "zcat -- \"$0\"", file.string()},
                                       out.Path() / "out"),
                      0)
                << file;
            tally.Add(ReadBytes(out.Path() / "out"));
        } else {
            tally.Add(ReadBytes(file));
        }
    }
    return tally;
}

std::vector<int> Count(int from, int to) {
    std::vector<int> numbers;
    for (int i = from; i < to; ++i) {
        numbers.push_back(i);
    }
    return numbers;
}

struct StampForm {
    const char* form;  // vosklog --stamp
    bool goesBack;     // its stamps repeat the hour
};

class FallBackStampTest : public ::testing::TestWithParam<StampForm> {};

constexpr int kFormLines = 60000;  // 20,000 lines/s for 3 s: a dozen rotations

TEST_P(FallBackStampTest, ArchiveNamesSortAsMadeAndARangeReadsEveryRecordOnce) {
    const StampForm& c = GetParam();
    const std::string rule = FallBackRule(time(nullptr) + kFallBackAfterS);
    if (rule.empty()) {
        GTEST_SKIP() << "no Jn day for today";
    }
    ZoneRule zone(rule);
    TempDir dir;
    const fs::path logs = dir.Path() / "logs";
    fs::create_directories(logs);
    {
        Child vosklog;
        ASSERT_TRUE(vosklog.Start({VOSKLOG_PROGRAM, "-d", logs.string(), "-n", "app.log", "-s",
                                   "1M", "--keep-days", "3", "--compress", "--stamp", c.form},
                                  {}, {}, true));
        EXPECT_EQ(test::FeedLines(&vosklog, kFormLines, 20000, kLineLength), kFormLines);
        ASSERT_EQ(vosklog.Wait(), 0);
    }
    // By name alone: a day folder is the local day, which the clock going
    // back may take back across midnight.
    std::vector<fs::path> archived;
    for (const auto& entry : fs::recursive_directory_iterator(logs)) {
        if (entry.is_regular_file() && entry.path().parent_path() != logs) {
            EXPECT_EQ(entry.path().extension(), ".gz") << entry.path();
            archived.push_back(entry.path());
        }
    }
    std::sort(archived.begin(), archived.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    ASSERT_GE(archived.size(), 8u);
    std::vector<fs::path> files = archived;
    files.push_back(logs / "app.log.bak");
    files.push_back(logs / "app.log");
    // One writer: the order made is the order of the numbers.
    const Tally made = ReadFiles(files);
    EXPECT_EQ(Numbers(made), Count(0, kFormLines));
    ASSERT_EQ(made.stamps.size(), static_cast<size_t>(kFormLines));
    size_t back = 0;
    for (size_t i = 1; i < made.stamps.size() && back == 0; ++i) {
        back = made.stamps[i] < made.stamps[i - 1] ? i : 0;
    }
    if (c.goesBack) {
        ASSERT_GT(back, 0u) << "the clock did not go back during the run";
    }
    std::printf("--stamp %s: %zu archived files; the stamps go back after record %zu (0: never)\n",
                c.form, archived.size(), back);

    std::string err;
    const Tally all = ReadLog(logs, {}, &err);
    EXPECT_EQ(Numbers(all), Count(0, kFormLines));
    EXPECT_EQ(all.Repeated(), 0);
    EXPECT_EQ(all.unstamped, 0);

    // From the middle of the oldest archived file to the middle of the
    // live one, cut at the first record of a stamp; a local stamp is given
    // its offset.
    const auto first = [&made](size_t i) {
        while (i > 0 && made.stamps[i - 1] == made.stamps[i]) {
            --i;
        }
        return i;
    };
    const auto zoned = [&](size_t i) {
        if (std::string(c.form) != "local") {
            return made.stamps[i];
        }
        return made.stamps[i] + (i < back ? " +02:00" : " +01:00");
    };
    const size_t since = first(ReadFiles({archived.front()}).order.size() / 2);
    const size_t until = first(kFormLines - ReadFiles({logs / "app.log"}).order.size() / 2);
    ASSERT_LT(since, until);
    const Tally range = ReadLog(logs, {"--since", zoned(since), "--until", zoned(until)}, &err);
    EXPECT_EQ(Numbers(range), Count(static_cast<int>(since), static_cast<int>(until)));
    EXPECT_EQ(range.Repeated(), 0);
}

INSTANTIATE_TEST_SUITE_P(StampForms, FallBackStampTest,
                         ::testing::Values(StampForm{"local", true}, StampForm{"offset", true},
                                           StampForm{"utc", false}),
                         [](const ::testing::TestParamInfo<StampForm>& info) {
                             return std::string(info.param.form);
                         });

}  // namespace
}  // namespace vosklogread
