// Records cut from bytes as they arrive, and put in time order within the
// window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LocalZone.h"
#include "RecordMerger.h"
#include "RecordReader.h"

namespace vosklogread {
namespace {

class RecordReaderTest : public ::testing::Test {
  protected:
    RecordReader reader{&zone, [this](Record&& r) { records.push_back(std::move(r)); }};
    LocalZone zone;
    std::vector<Record> records;

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Record& r : records) {
            texts.push_back(r.text);
        }
        return texts;
    }
};

TEST_F(RecordReaderTest, ContinuationLinesStayWithTheirRecord) {
    const std::string bytes =
        "before any stamp\n"
        "[2026-12-11 05:41:07.123Z] one\n"
        "  its second line\n"
        "                         raw text\n"
        "[2026-12-11 05:41:07.123Z]+rest of a cut line\n"
        "[2026-12-11 05:41:07.124Z] two\r\n"
        "[2026-12-11 05:41:07.125Z] three without end";
    // Byte by byte: a stamp cut anywhere is still read as one.
    for (char c : bytes) {
        reader.Add(&c, 1);
    }
    EXPECT_EQ(records.size(), 2u);  // "two" is held until a stamped line follows
    reader.EndFile();
    const std::vector<std::string> expected = {
        "before any stamp\n",
        "[2026-12-11 05:41:07.123Z] one\n  its second line\n                         raw text\n"
        "[2026-12-11 05:41:07.123Z]+rest of a cut line\n",
        "[2026-12-11 05:41:07.124Z] two\r\n", "[2026-12-11 05:41:07.125Z] three without end"};
    EXPECT_EQ(Texts(), expected);
    EXPECT_EQ(records[1].timeMs, 1796967667123LL);
    EXPECT_EQ(records[3].timeMs, 1796967667125LL);
}

TEST_F(RecordReaderTest, UnstampedTextTakesTheTimeBeforeIt) {
    reader.SetStartHint(42);
    reader.Add("raw\n", 4);
    reader.FlushRecord();
    reader.Add("[2026-12-11 05:41:07.123 +01:00] x\n", 35);
    reader.FlushRecord();
    // A continuation that comes after its record was handed out is a
    // record of its own, at the same time: late, never lost.
    reader.Add("late line\n", 10);
    reader.EndFile();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].timeMs, 42);
    EXPECT_EQ(records[1].timeMs, 1796967667123LL - 3600000);
    EXPECT_EQ(records[2].text, "late line\n");
    EXPECT_EQ(records[2].timeMs, records[1].timeMs);
}

TEST(RecordMergerTest, WithinTheWindowInOrderLaterOnesNeverDropped) {
    std::vector<int64_t> out;
    RecordMerger merger(100, [&out](const Record& r) { out.push_back(r.timeMs); });
    // 46 ms back is put in place; 500 ms back, once 60 went out, is late.
    for (int64_t t : {1000, 1010, 964, 1020, 1200, 1300, 60, 1305}) {
        merger.Add(Record{"r", t});
    }
    merger.Flush();
    const std::vector<int64_t> expected = {964, 1000, 1010, 1020, 60, 1200, 1300, 1305};
    EXPECT_EQ(out, expected);
}

TEST(RecordMergerTest, EqualTimesKeepTheirOrderAndNoWindowKeepsAll) {
    std::vector<std::string> out;
    RecordMerger merger(1000, [&out](const Record& r) { out.push_back(r.text); });
    merger.Add(Record{"a", 5});
    merger.Add(Record{"b", 5});
    merger.Add(Record{"c", 4});
    merger.Flush();
    EXPECT_EQ(out, (std::vector<std::string>{"c", "a", "b"}));

    out.clear();
    RecordMerger asRead(0, [&out](const Record& r) { out.push_back(r.text); });
    asRead.Add(Record{"x", 9});
    asRead.Add(Record{"y", 1});
    EXPECT_EQ(out, (std::vector<std::string>{"x", "y"}));
}

}  // namespace
}  // namespace vosklogread
