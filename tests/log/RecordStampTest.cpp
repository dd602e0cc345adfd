#include "log/RecordStamp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "support/FakeClock.h"

namespace vosk {
namespace {

std::string Expected(const platform::LocalTime& t) {
    char text[96];
    int n = snprintf(text, sizeof(text), "[%4d-%02d-%02d %02d:%02d:%02d.%03d] ", t.year, t.month,
                     t.day, t.hour, t.minute, t.second, t.milliseconds);
    return std::string(text, static_cast<size_t>(n));
}

std::string Rendered(RecordStamp& stamp, const platform::LocalTime& t) {
    const char* text = stamp.Render(t);
    return std::string(text, static_cast<size_t>(stamp.Length()));
}

// One stamp after another, as records come: the part kept from the last
// second must never show through when anything but the milliseconds moved.
TEST(RecordStamp, EverySequenceRendersAsPrintfWould) {
    const platform::LocalTime sequence[] = {
        test::MakeLocalTime(2024, 3, 5, 10, 0, 0, 0),
        test::MakeLocalTime(2024, 3, 5, 10, 0, 0, 999),   // same second
        test::MakeLocalTime(2024, 3, 5, 10, 0, 1, 7),     // next second
        test::MakeLocalTime(2024, 3, 6, 10, 0, 1, 7),     // only the day differs
        test::MakeLocalTime(2025, 3, 6, 10, 0, 1, 8),     // only the year differs
        test::MakeLocalTime(2025, 3, 6, 10, 0, 1, 1234),  // milliseconds beyond three digits
        test::MakeLocalTime(2025, 3, 6, 10, 0, 1, 5),     // and back
        test::MakeLocalTime(999, 1, 1, 0, 0, 0, 0),       // a short year is padded with blanks
        test::MakeLocalTime(65535, 65535, 65535, 65535, 65535, 65535, 65535),
        test::MakeLocalTime(65535, 65535, 65535, 65535, 65535, 65535, 12),
    };
    RecordStamp stamp;
    for (const platform::LocalTime& t : sequence) {
        EXPECT_EQ(Rendered(stamp, t), Expected(t));
    }
}

TEST(RecordStamp, RandomRunsMatchPrintf) {
    // Few distinct values per field, so that most stamps share their second
    // with the one before and some differ in a single field.
    std::mt19937 random(42);
    auto pick = [&](std::initializer_list<int> values) {
        return values.begin()[random() % values.size()];
    };
    RecordStamp stamp;
    platform::LocalTime t = test::MakeLocalTime(2024, 3, 5, 10, 0, 0, 0);
    for (int i = 0; i < 5000; ++i) {
        switch (random() % 8) {
            case 0:
                t.year = static_cast<uint16_t>(pick({2024, 2025, 10000}));
                break;
            case 1:
                t.month = static_cast<uint16_t>(pick({1, 12}));
                break;
            case 2:
                t.day = static_cast<uint16_t>(pick({1, 31}));
                break;
            case 3:
                t.hour = static_cast<uint16_t>(pick({0, 23}));
                break;
            case 4:
                t.minute = static_cast<uint16_t>(pick({0, 59}));
                break;
            case 5:
                t.second = static_cast<uint16_t>(pick({0, 59, 60}));
                break;
            default:
                t.milliseconds = static_cast<uint16_t>(pick({0, 9, 10, 99, 100, 999, 1000}));
                break;
        }
        ASSERT_EQ(Rendered(stamp, t), Expected(t)) << "step " << i;
    }
}

std::string RenderedIn(RecordStamp& stamp, const platform::LocalTime& t, int32_t offsetMinutes,
                       StampForm form) {
    const char* text = stamp.Render(platform::ZonedTime{t, offsetMinutes}, form);
    return std::string(text, static_cast<size_t>(stamp.Length()));
}

// The zone forms, one stamp after another through one RecordStamp, so that
// what is kept from the last second must follow the offset and the form
// too: the two hours of a fall-back differ only in their offset.
TEST(RecordStamp, ZoneFormsSayTheOffsetOrTheUtcTime) {
    using test::MakeLocalTime;
    struct Case {
        platform::LocalTime local;
        int32_t offset;
        StampForm form;
        const char* expected;
    };
    const Case cases[] = {
        {MakeLocalTime(2026, 12, 11, 5, 41, 7, 123), 60, StampForm::kLocal,
         "[2026-12-11 05:41:07.123] "},
        {MakeLocalTime(2026, 12, 11, 5, 41, 7, 123), 60, StampForm::kLocalOffset,
         "[2026-12-11 05:41:07.123 +01:00] "},
        {MakeLocalTime(2026, 12, 11, 5, 41, 7, 124), 60, StampForm::kUtc,
         "[2026-12-11 04:41:07.124Z] "},
        // Fall-back: the same local second, an hour later.
        {MakeLocalTime(2026, 10, 25, 2, 30, 0, 5), 120, StampForm::kLocalOffset,
         "[2026-10-25 02:30:00.005 +02:00] "},
        {MakeLocalTime(2026, 10, 25, 2, 30, 0, 6), 60, StampForm::kLocalOffset,
         "[2026-10-25 02:30:00.006 +01:00] "},
        {MakeLocalTime(2026, 10, 25, 2, 30, 0, 7), 120, StampForm::kUtc,
         "[2026-10-25 00:30:00.007Z] "},
        {MakeLocalTime(2026, 10, 25, 2, 30, 0, 8), 60, StampForm::kUtc,
         "[2026-10-25 01:30:00.008Z] "},
        // Minutes in the offset, west of Greenwich, UTC on another day,
        // month and year, a leap day.
        {MakeLocalTime(2026, 1, 1, 0, 10, 0, 0), 345, StampForm::kLocalOffset,
         "[2026-01-01 00:10:00.000 +05:45] "},
        {MakeLocalTime(2026, 1, 1, 0, 10, 0, 0), 345, StampForm::kUtc,
         "[2025-12-31 18:25:00.000Z] "},
        {MakeLocalTime(2025, 12, 31, 22, 0, 59, 999), -210, StampForm::kLocalOffset,
         "[2025-12-31 22:00:59.999 -03:30] "},
        {MakeLocalTime(2025, 12, 31, 22, 0, 59, 999), -210, StampForm::kUtc,
         "[2026-01-01 01:30:59.999Z] "},
        {MakeLocalTime(2028, 2, 29, 23, 59, 59, 1), -60, StampForm::kUtc,
         "[2028-03-01 00:59:59.001Z] "},
        {MakeLocalTime(2028, 3, 1, 0, 30, 0, 0), 60, StampForm::kUtc,
         "[2028-02-29 23:30:00.000Z] "},
        {MakeLocalTime(2026, 7, 4, 12, 0, 0, 0), 0, StampForm::kLocalOffset,
         "[2026-07-04 12:00:00.000 +00:00] "},
        {MakeLocalTime(2026, 7, 4, 12, 0, 0, 1), 0, StampForm::kUtc, "[2026-07-04 12:00:00.001Z] "},
        // Back to the default in the same second: no zone left over.
        {MakeLocalTime(2026, 7, 4, 12, 0, 0, 2), 0, StampForm::kLocal,
         "[2026-07-04 12:00:00.002] "},
    };
    RecordStamp stamp;
    for (const Case& c : cases) {
        EXPECT_EQ(RenderedIn(stamp, c.local, c.offset, c.form), c.expected);
        RecordStamp fresh;
        EXPECT_EQ(RenderedIn(fresh, c.local, c.offset, c.form), c.expected);
    }
}

}  // namespace
}  // namespace vosk
