// The reader against the files real writers leave: a host of the library
// writing from four threads (records stamped out of order, records of two
// lines) and vosklog, both with the smallest size limit and the day archive
// on, rotating many times. Every record is printed exactly once, in time
// order, with its continuation; ranges that meet split the records without
// loss or repeat; archived files compressed (with or without the plain one
// beside) are read as well.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ReaderRun.h"
#include "support/TempDir.h"

namespace vosklogread {
namespace {

using test::Child;
using test::ReadLog;
using test::Tally;
namespace fs = std::filesystem;
using vosk::test::ReadBytes;
using vosk::test::TempDir;

constexpr int kThreads = 4;
constexpr int kHostRecords = 20000;
constexpr int kLines = 200000;

struct Writer {
    const char* what;
    bool host;
};

class RangeTest : public ::testing::TestWithParam<Writer> {
  protected:
    void SetUp() override {
        logs_ = dir_.Path() / "logs";
        fs::create_directories(logs_);
        if (GetParam().host) {
            ASSERT_EQ(test::RunProgram({VOSK_READER_HOST, VOSK_LIBRARY, logs_.string(),
                                        std::to_string(kThreads), std::to_string(kHostRecords)}),
                      0);
            keys_ = test::HostKeys(kThreads, kHostRecords);
        } else {
            Child vosklog;
            ASSERT_TRUE(vosklog.Start({VOSKLOG_PROGRAM, "-d", logs_.string(), "-n", "app.log", "-s",
                                       "1M", "--keep-days", "3"},
                                      {}, {}, true));
            EXPECT_EQ(test::FeedLines(&vosklog, kLines, 0, 60), kLines);
            ASSERT_EQ(vosklog.Wait(), 0);
            keys_ = test::NumberKeys(kLines);
        }
        archived_ = test::ArchivedFiles(logs_);
        ASSERT_GE(archived_.size(), 5u);
    }

    void ExpectEveryRecordOnce(const Tally& tally) {
        EXPECT_EQ(tally.Lost(keys_), 0);
        EXPECT_EQ(tally.Repeated(), 0);
        EXPECT_EQ(tally.seen.size(), keys_.size());
        EXPECT_EQ(tally.strayContinuations, 0);
        EXPECT_EQ(tally.unstamped, 0);
    }

    TempDir dir_;
    fs::path logs_;
    std::vector<std::string> keys_;
    std::vector<fs::path> archived_;
};

TEST_P(RangeTest, EveryRecordOnceInTimeOrderAndRangesSplitThem) {
    const Tally all = ReadLog(logs_, {});
    ExpectEveryRecordOnce(all);
    // The stamps are of one form and zone: in time order they sort as text.
    int outOfOrder = 0;
    for (size_t i = 1; i < all.stamps.size(); ++i) {
        outOfOrder += all.stamps[i] < all.stamps[i - 1] ? 1 : 0;
    }
    EXPECT_EQ(outOfOrder, 0);
    // As read, the host's threads show records stamped before the one
    // before them; the window puts them in place.
    const Tally asRead = ReadLog(logs_, {"--window", "0"});
    ExpectEveryRecordOnce(asRead);
    int backwards = 0;
    for (size_t i = 1; i < asRead.stamps.size(); ++i) {
        backwards += asRead.stamps[i] < asRead.stamps[i - 1] ? 1 : 0;
    }
    std::printf("%s: %zu records, %zu archived files, %d stamped earlier than the one before\n",
                GetParam().what, all.order.size(), archived_.size(), backwards);

    // Cut at three records' own stamps, as printed (local, no zone).
    const size_t n = all.stamps.size();
    const std::vector<std::string> cuts = {all.stamps[n / 4], all.stamps[n / 2],
                                           all.stamps[3 * n / 4]};
    Tally pieces;
    std::vector<std::vector<std::string>> ranges = {{"--until", cuts[0]},
                                                    {"--since", cuts[0], "--until", cuts[1]},
                                                    {"--since", cuts[1], "--until", cuts[2]},
                                                    {"--since", "[" + cuts[2] + "]"}};
    for (const auto& range : ranges) {
        const Tally piece = ReadLog(logs_, range);
        std::string since;
        std::string until;
        for (size_t i = 0; i + 1 < range.size(); i += 2) {
            std::string value = range[i + 1];
            if (value[0] == '[') {
                value = value.substr(1, value.size() - 2);
            }
            (range[i] == "--since" ? since : until) = value;
        }
        // A piece holds only records stamped within it.
        for (const std::string& stamp : piece.stamps) {
            EXPECT_TRUE(stamp >= since && (until.empty() || stamp < until)) << stamp;
        }
        for (const std::string& key : piece.order) {
            ++pieces.seen[key];
        }
    }
    EXPECT_EQ(pieces.Lost(keys_), 0);
    EXPECT_EQ(pieces.Repeated(), 0);
}

TEST_P(RangeTest, CompressedArchiveFilesAreReadOnce) {
    // Every other one compressed with its plain file kept, the others
    // replaced by their .gz.
    for (size_t i = 0; i < archived_.size(); ++i) {
        ASSERT_TRUE(test::Compress(archived_[i], i % 2 == 0)) << archived_[i];
    }
    ExpectEveryRecordOnce(ReadLog(logs_, {}));
    // A damaged .gz: what it holds up to there, and the exit status says so.
    const fs::path last = archived_[1].string() + ".gz";
    const std::string bytes = ReadBytes(last);
    vosk::test::WriteBytes(last, bytes.substr(0, bytes.size() / 2));
    std::string err;
    int status = -1;
    const Tally damaged = ReadLog(logs_, {}, &err, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(err.find("damaged"), std::string::npos) << err;
    EXPECT_LT(damaged.seen.size(), keys_.size());
    EXPECT_EQ(damaged.Repeated(), 0);
}

TEST_P(RangeTest, ANameGivenAgainAfterCompressionHoldsTwoFiles) {
    // Once a file is compressed and its plain file deleted, a log with the
    // older names can give the name to a later file: the .gz is the
    // earlier file, the plain one the later.
    ASSERT_TRUE(test::Compress(archived_[0], false));
    fs::rename(archived_[1], archived_[0]);
    ExpectEveryRecordOnce(ReadLog(logs_, {}));
}

INSTANTIATE_TEST_SUITE_P(
    Writers, RangeTest, ::testing::Values(Writer{"host_4_threads", true}, Writer{"vosklog", false}),
    [](const ::testing::TestParamInfo<Writer>& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace vosklogread
