#include <gtest/gtest.h>

#include <ctime>
#include <limits>
#include <thread>
#include <vector>

#include "platform/Time.h"

namespace vosk::platform {
namespace {

bool SameSecond(const LocalTime& now, const std::tm& tm) {
    return now.year == tm.tm_year + 1900 && now.month == tm.tm_mon + 1 && now.day == tm.tm_mday &&
           now.hour == tm.tm_hour && now.minute == tm.tm_min && now.second == tm.tm_sec &&
           now.dayOfWeek == tm.tm_wday;
}

// The reading must be the local calendar time of a second around it; the
// seconds clock may lag the fine one by a tick, hence the margin.
void ExpectCurrent(const LocalTime& now, time_t before, time_t after) {
    EXPECT_LT(now.milliseconds, 1000);
    bool found = false;
    for (time_t t = before - 1; t <= after + 1 && !found; ++t) {
        std::tm tm;
        ASSERT_TRUE(LocalCalendar(t, &tm));
        found = SameSecond(now, tm);
    }
    EXPECT_TRUE(found) << now.year << "-" << now.month << "-" << now.day << " " << now.hour << ":"
                       << now.minute << ":" << now.second;
}

TEST(LocalTimeNow, IsTheLocalCalendarTimeOfNow) {
    for (int i = 0; i < 3; ++i) {  // the second call is served from the per-second cache
        time_t before = time(nullptr);
        LocalTime now;
        LocalTimeNow(&now);
        time_t after = time(nullptr);
        ExpectCurrent(now, before, after);
    }
    LocalTimeNow(nullptr);
}

TEST(LocalTimeNow, EachThreadGetsItsOwnReading) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 100; ++i) {
                time_t before = time(nullptr);
                LocalTime now;
                LocalTimeNow(&now);
                ExpectCurrent(now, before, time(nullptr));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

TEST(LocalCalendar, ConvertsTimesBeyond2038) {
    // 2100-03-01 12:00 UTC: the same date in every zone.
    const time_t t = static_cast<time_t>(4107585600LL);
    std::tm tm;
    ASSERT_TRUE(LocalCalendar(t, &tm));
    EXPECT_EQ(tm.tm_year + 1900, 2100);
    EXPECT_EQ(tm.tm_mon + 1, 3);
    EXPECT_EQ(tm.tm_mday, 1);
    std::tm next;
    ASSERT_TRUE(LocalCalendar(t + 86400, &next));
    EXPECT_EQ(next.tm_mday, 2);
}

TEST(LocalCalendar, RejectsNullOutput) {
    EXPECT_FALSE(LocalCalendar(time(nullptr), nullptr));
}

// The stamp's fields come from the same per-second cache as the calendar:
// the same second whichever of the two asked first, any milliseconds.
TEST(LocalTimeAt, IsTheCalendarOfTheSecondWithItsMilliseconds) {
    const time_t now = time(nullptr);
    const time_t times[] = {now, now, now + 1, now, 4107585600LL, 0};
    int milliseconds = 0;
    for (time_t t : times) {
        LocalTime local;
        ASSERT_TRUE(LocalTimeAt(t, milliseconds, &local));
        std::tm tm;
        ASSERT_TRUE(LocalCalendar(t, &tm));
        EXPECT_TRUE(SameSecond(local, tm)) << t;
        EXPECT_EQ(local.milliseconds, milliseconds);
        milliseconds = milliseconds * 7 + 123;
        milliseconds %= 1000;
    }
    LocalTime local;
    EXPECT_FALSE(LocalTimeAt(now, 0, nullptr));
    // Beyond any calendar: no fields, and the next second is converted anew.
    EXPECT_FALSE(LocalTimeAt(std::numeric_limits<time_t>::max(), 0, &local));
    ASSERT_TRUE(LocalTimeAt(now, 5, &local));
    std::tm tm;
    ASSERT_TRUE(LocalCalendar(now, &tm));
    EXPECT_TRUE(SameSecond(local, tm));
}

}  // namespace
}  // namespace vosk::platform
