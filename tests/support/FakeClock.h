// A clock that stands still until the test moves it. Its seconds count
// local wall-clock time directly (no zone, no daylight saving), so a test
// sets a local date and time and gets exactly that back, in any zone.
// Advance lets time pass (wall and monotonic clock alike); Set steps the
// wall clock alone, as an adjustment or a change of zone does.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

#include "log/Clock.h"
#include "platform/Time.h"

namespace vosk::test {

// A local time to the millisecond; the day of the week is left 0.
inline platform::LocalTime MakeLocalTime(int year, int month, int day, int hour, int minute,
                                         int second, int milliseconds) {
    platform::LocalTime t{};
    t.year = static_cast<uint16_t>(year);
    t.month = static_cast<uint16_t>(month);
    t.day = static_cast<uint16_t>(day);
    t.hour = static_cast<uint16_t>(hour);
    t.minute = static_cast<uint16_t>(minute);
    t.second = static_cast<uint16_t>(second);
    t.milliseconds = static_cast<uint16_t>(milliseconds);
    return t;
}

class FakeClock : public Clock {
  public:
    FakeClock() { Set(2024, 3, 5, 10, 0, 0); }

    // Moves the clock to a local date and time.
    void Set(int year, int month, int day, int hour, int minute, int second, int milliseconds = 0) {
        seconds_ = (DaysFromCivil(year, month, day) * 24 + hour) * 3600 + minute * 60 + second;
        milliseconds_ = milliseconds;
    }
    void Advance(int64_t seconds) {
        seconds_ += seconds;
        monotonicMs_ += seconds * 1000;
    }
    // Lets milliseconds pass on the monotonic clock only.
    void AdvanceMonotonic(int64_t milliseconds) { monotonicMs_ += milliseconds; }

    // Keeps the record stamp at this time while the seconds move on.
    void HoldStamp(const platform::LocalTime& stamp) {
        held_ = stamp;
        holding_ = true;
    }
    void ReleaseStamp() { holding_ = false; }
    // Makes every calendar conversion fail.
    void FailCalendar(bool fail) { failCalendar_ = fail; }

    time_t Time() override {
        ++timeReads;
        return static_cast<time_t>(seconds_);
    }
    bool LocalCalendar(time_t t, std::tm* out) override {
        ++calendarReads;
        if (failCalendar_ || out == nullptr) {
            return false;
        }
        *out = Calendar(static_cast<int64_t>(t));
        return true;
    }
    void LocalTimeNow(platform::LocalTime* now) override {
        ++stampReads;
        if (holding_) {
            *now = held_;
            return;
        }
        std::tm tm = Calendar(seconds_);
        *now = MakeLocalTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                             tm.tm_sec, milliseconds_);
        now->dayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    }

    int64_t MonotonicMs() override { return monotonicMs_; }

    // Reads so far; the log may read from several threads at once.
    std::atomic<int> timeReads{0};
    std::atomic<int> calendarReads{0};
    std::atomic<int> stampReads{0};

  private:
    // Days since 1970-01-01 of a proleptic Gregorian date.
    static int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
        y -= m <= 2;
        const int64_t era = (y >= 0 ? y : y - 399) / 400;
        const int64_t yoe = y - era * 400;
        const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe - 719468;
    }

    static std::tm Calendar(int64_t seconds) {
        int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
        int64_t rest = seconds - days * 86400;
        std::tm tm{};
        tm.tm_hour = static_cast<int>(rest / 3600);
        tm.tm_min = static_cast<int>(rest / 60 % 60);
        tm.tm_sec = static_cast<int>(rest % 60);
        tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
        const int64_t z = days + 719468;
        const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        const int64_t doe = z - era * 146097;
        const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const int64_t mp = (5 * doy + 2) / 153;
        const int64_t d = doy - (153 * mp + 2) / 5 + 1;
        const int64_t m = mp + (mp < 10 ? 3 : -9);
        const int64_t y = yoe + era * 400 + (m <= 2);
        tm.tm_year = static_cast<int>(y - 1900);
        tm.tm_mon = static_cast<int>(m - 1);
        tm.tm_mday = static_cast<int>(d);
        return tm;
    }

    int64_t seconds_ = 0;
    // Starts far from 0, as a system's does after boot.
    std::atomic<int64_t> monotonicMs_{1000000};
    int milliseconds_ = 0;
    bool holding_ = false;
    bool failCalendar_ = false;
    platform::LocalTime held_{};
};

}  // namespace vosk::test
