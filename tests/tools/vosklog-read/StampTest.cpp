// The stamps of records and of ranges, and archive names: the forms
// written, the forms a user gives, and what is no stamp.
#include <gtest/gtest.h>

#include <string>

#include "ArchiveName.h"
#include "Stamp.h"

namespace vosklogread {
namespace {

struct StampCase {
    const char* text;
    bool record;  // parsed as a record's stamp (else as a given one)
    bool valid;
    int64_t wallMs;  // WallMs when valid
    Stamp::Zone zone;
    int offsetMinutes;
};

// 2026-12-11 05:41:07.123 read as UTC.
constexpr int64_t kWall = 1796967667123LL;

TEST(StampTest, FormsAndRejections) {
    const StampCase cases[] = {
        {"[2026-12-11 05:41:07.123] message", true, true, kWall, Stamp::Zone::kNone, 0},
        {"[2026-12-11 05:41:07.123 +01:00] message", true, true, kWall, Stamp::Zone::kOffset, 60},
        {"[2026-12-11 05:41:07.123 -03:30] m", true, true, kWall, Stamp::Zone::kOffset, -210},
        {"[2026-12-11 05:41:07.123Z] message", true, true, kWall, Stamp::Zone::kUtc, 0},
        {"[2026-12-11 05:41:07.123]", true, true, kWall, Stamp::Zone::kNone, 0},
        {"                         raw text", true, false, 0, Stamp::Zone::kNone, 0},
        {"[2026-12-11 05:41:07] no milliseconds", true, false, 0, Stamp::Zone::kNone, 0},
        {"[2026-13-11 05:41:07.123] month", true, false, 0, Stamp::Zone::kNone, 0},
        {"[2026-02-29 05:41:07.123] not a leap year", true, false, 0, Stamp::Zone::kNone, 0},
        {"[2026-12-11 24:00:00.000] hour", true, false, 0, Stamp::Zone::kNone, 0},
        {"[2026-12-11 05:41:07.123 +1:00] offset", true, false, 0, Stamp::Zone::kNone, 0},
        {"[2026-12-11 05:41:07.1", true, false, 0, Stamp::Zone::kNone, 0},
        {"", true, false, 0, Stamp::Zone::kNone, 0},
        {"2026-12-11 05:41:07.123", false, true, kWall, Stamp::Zone::kNone, 0},
        {"[2026-12-11 05:41:07.123Z]", false, true, kWall, Stamp::Zone::kUtc, 0},
        {"2026-12-11T05:41:07.123+01:00", false, true, kWall, Stamp::Zone::kOffset, 60},
        {"2026-12-11 05:41:07.123 +0100", false, true, kWall, Stamp::Zone::kOffset, 60},
        {"2026-12-11 05:41:07.123 -05", false, true, kWall, Stamp::Zone::kOffset, -300},
        {"2026-12-11 05:41", false, true, kWall - 7123, Stamp::Zone::kNone, 0},
        {"2026-12-11", false, true, kWall - 20467123, Stamp::Zone::kNone, 0},
        {"2026-12-11Z", false, true, kWall - 20467123, Stamp::Zone::kUtc, 0},
        {"2026-12-11 05", false, false, 0, Stamp::Zone::kNone, 0},
        {"2026-12-11 05:41:07.12", false, false, 0, Stamp::Zone::kNone, 0},
        {"2026-12-11 05:41 tomorrow", false, false, 0, Stamp::Zone::kNone, 0},
        {"yesterday", false, false, 0, Stamp::Zone::kNone, 0},
        {"2026-12-11 05:41:07.123 +25:00", false, false, 0, Stamp::Zone::kNone, 0},
    };
    for (const StampCase& c : cases) {
        Stamp stamp;
        const std::string text = c.text;
        const bool parsed = c.record ? ParseRecordStamp(text.data(), text.size(), &stamp)
                                     : ParseGivenStamp(text, &stamp);
        ASSERT_EQ(parsed, c.valid) << text;
        if (c.valid) {
            EXPECT_EQ(WallMs(stamp), c.wallMs) << text;
            EXPECT_EQ(stamp.zone, c.zone) << text;
            EXPECT_EQ(stamp.offsetMinutes, c.offsetMinutes) << text;
        }
    }
}

TEST(StampTest, ZonedStampsNameOneInstant) {
    Stamp local;
    Stamp utc;
    ASSERT_TRUE(ParseGivenStamp("2026-12-11 06:41:07.123 +01:00", &local));
    ASSERT_TRUE(ParseGivenStamp("2026-12-11 05:41:07.123Z", &utc));
    EXPECT_EQ(ZonedMs(local), ZonedMs(utc));
    EXPECT_EQ(ZonedMs(utc), kWall);
}

struct NameCase {
    const char* file;
    bool valid;
    bool compressed;
    Stamp::Zone zone;
    int sequence;
    int millisecond;
};

TEST(ArchiveNameTest, TheLogsNamesOnly) {
    const NameCase cases[] = {
        {"app.log.20261211-054107", true, false, Stamp::Zone::kNone, 0, 0},
        {"app.log.20261211-054107-002", true, false, Stamp::Zone::kNone, 2, 0},
        {"app.log.20261211-054107-123Z", true, false, Stamp::Zone::kUtc, 0, 123},
        {"app.log.20261211-054107-123Z.gz", true, true, Stamp::Zone::kUtc, 0, 123},
        {"app.log.20261211-054107.gz", true, true, Stamp::Zone::kNone, 0, 0},
        {"app.log.20261211-054107-123Z.gz.tmp", false, false, Stamp::Zone::kNone, 0, 0},
        {"app.log.20261211-054107.tmp", false, false, Stamp::Zone::kNone, 0, 0},
        {"app.log.bak", false, false, Stamp::Zone::kNone, 0, 0},
        {"app.log", false, false, Stamp::Zone::kNone, 0, 0},
        {"app.log.20261311-054107", false, false, Stamp::Zone::kNone, 0, 0},
        {"app.log.20261211-054107-12", false, false, Stamp::Zone::kNone, 0, 0},
        {"other.log.20261211-054107", false, false, Stamp::Zone::kNone, 0, 0},
        {"app.log2.20261211-054107", false, false, Stamp::Zone::kNone, 0, 0},
    };
    for (const NameCase& c : cases) {
        ArchiveName name;
        ASSERT_EQ(ParseArchiveName(c.file, "app.log", &name), c.valid) << c.file;
        if (c.valid) {
            EXPECT_EQ(name.compressed, c.compressed) << c.file;
            EXPECT_EQ(name.time.zone, c.zone) << c.file;
            EXPECT_EQ(name.sequence, c.sequence) << c.file;
            EXPECT_EQ(name.time.millisecond, c.millisecond) << c.file;
            EXPECT_EQ(name.time.hour, 5) << c.file;
            EXPECT_EQ(name.plainName + (c.compressed ? ".gz" : ""), c.file);
        }
    }
}

}  // namespace
}  // namespace vosklogread
