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

}  // namespace
}  // namespace vosk
