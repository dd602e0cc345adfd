// When a log starts a fresh file, and where: at the first record of each
// local day (a later date than the current file's; a clock set back keeps
// writing the current file) and once the file holds the size limit; a
// directory set for the log takes effect at its next new day.
#pragma once

#include <cstdint>
#include <ctime>

#include "log/Clock.h"
#include "text/StringBuffer.h"

namespace vosk {

class RotationPolicy {
  public:
    static constexpr int32_t kDefaultSizeLimit = 2097152;
    static constexpr int32_t kMinimumSizeLimit = 1048576;

    // The clock (not owned) converts times to calendars.
    explicit RotationPolicy(Clock* clock) : clock_(clock) {}

    // Never below kMinimumSizeLimit.
    void SetSizeLimit(int32_t limit) { sizeLimit_ = ClampedSizeLimit(limit); }
    static int32_t ClampedSizeLimit(int32_t limit) {
        return limit < kMinimumSizeLimit ? kMinimumSizeLimit : limit;
    }
    int32_t SizeLimit() const { return sizeLimit_; }

    // The directory set for the log, resolved; used from the next new day.
    void SetDirectory(const char* resolved) { configured_.Assign(resolved); }
    const char* ConfiguredDirectory() { return configured_.CStr(); }
    // The directory of the current file; the configured one before the
    // first day started.
    const char* Directory() {
        return directory_.Length() > 0 ? directory_.CStr() : configured_.CStr();
    }

    // Broken-down local time of t (the clock's); null when it cannot be
    // converted. Every record asks, nearly always for the second asked
    // last: that one is kept.
    const std::tm* CalendarOf(time_t t) {
        if (calendarKnown_ && calendarSecond_ == t) {
            return &calendar_;
        }
        calendarKnown_ = clock_->LocalCalendar(t, &calendar_);
        calendarSecond_ = t;
        return calendarKnown_ ? &calendar_ : nullptr;
    }
    // True when now's date is later than the current file's day (always
    // before the first day started).
    bool IsLaterDay(const std::tm& now) const;
    // The test nearly every record makes: a new day, or a full file.
    bool Due(const std::tm& now, int64_t written) const {
        return IsLaterDay(now) || written >= sizeLimit_;
    }
    // True when now is in another quarter of an hour than the day's start:
    // numbered names restart there.
    bool InAnotherQuarter(const std::tm& now) const {
        return now.tm_hour != dayStart_.tm_hour || now.tm_min / 15 != dayStart_.tm_min / 15;
    }
    // A new day starts at now: the configured directory takes effect.
    void StartDay(const std::tm& now);

  private:
    Clock* clock_;
    int32_t sizeLimit_ = kDefaultSizeLimit;
    StringBuffer configured_;
    StringBuffer directory_;
    // Year, month, day, hour and minute of the last new day; day 0 (no date
    // has it) makes the first check a new day.
    std::tm dayStart_{};
    std::tm calendar_{};
    time_t calendarSecond_ = 0;
    bool calendarKnown_ = false;
};

}  // namespace vosk
