// A fall-back of the clock while vosklog writes: a private zone rule (the
// TZ variable, given to the writer and the reader) sets the clock back an
// hour two seconds into the run, so that the local stamps and the older
// archive names of the hour after it repeat those of the hour before. The
// reader still prints every record once, in the order written; ranges
// given with their offsets split the records exactly; a local stamp of
// the repeated hour is said to be ambiguous and taken so that the range
// holds both readings. Compressed, the archive reads the same.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <string>
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

constexpr int kLines = 80000;  // 20,000 lines/s for 4 s
constexpr int kLineLength = 200;
constexpr int kFallBackAfterS = 2;

// "XST-1XDT-2,J1/0,J<day>/<hh:mm:ss>": UTC+2 from January 1st until the
// given moment of local summer time, UTC+1 after it. Empty where the day
// cannot be written so (February 29th, January 1st).
std::string FallBackRule(time_t at) {
    const time_t summer = at + 2 * 3600;
    std::tm day;
    gmtime_r(&summer, &day);
    const int year = day.tm_year + 1900;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if ((day.tm_mon == 1 && day.tm_mday == 29) || day.tm_yday == 0) {
        return {};
    }
    // Jn counts 1 to 365 and never February 29th.
    const int julian = day.tm_yday + 1 - (leap && day.tm_mon > 1 ? 1 : 0);
    char rule[64];
    snprintf(rule, sizeof(rule), "XST-1XDT-2,J1/0,J%d/%02d:%02d:%02d", julian, day.tm_hour,
             day.tm_min, day.tm_sec);
    return rule;
}

class ZoneRule {
  public:
    explicit ZoneRule(const std::string& rule) {
        const char* old = getenv("TZ");
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        setenv("TZ", rule.c_str(), 1);
        tzset();
    }
    ~ZoneRule() {
        if (had_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    bool had_;
    std::string old_;
};

Tally Read(const fs::path& logs, const std::vector<std::string>& extra, std::string* err) {
    TempDir out;
    std::vector<std::string> argv = {VOSKLOG_READ_PROGRAM, "-d", logs.string(), "-n", "app.log"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    EXPECT_EQ(test::Run(argv, out.Path() / "out", out.Path() / "err"), 0);
    *err = ReadBytes(out.Path() / "err");
    Tally tally;
    tally.Add(ReadBytes(out.Path() / "out"));
    return tally;
}

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
    const Tally all = Read(logs, {}, &err);
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
        const std::vector<int> piece = Numbers(Read(logs, ranges[r], &err));
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
    EXPECT_EQ(Numbers(Read(logs, {}, &err)), numbers);

    // The first stamp after the fall-back, without its zone: the hour
    // happened twice. --until takes the second: everything before it.
    const Tally before = Read(logs, {"--until", all.stamps[back]}, &err);
    EXPECT_NE(err.find("happened twice"), std::string::npos) << err;
    EXPECT_EQ(before.order.size(), back);
    // --since takes the first, an hour earlier: everything.
    const Tally since = Read(logs, {"--since", all.stamps[back]}, &err);
    EXPECT_NE(err.find("happened twice"), std::string::npos) << err;
    EXPECT_EQ(since.order.size(), static_cast<size_t>(kLines));
}

}  // namespace
}  // namespace vosklogread
