// Where the library reads the time: whole seconds, their local calendar
// time, the local time with milliseconds for record stamps, and a monotonic
// count for intervals. Logs and the maintenance thread read it through a
// Clock so that a test can move them across midnight, or step the wall
// clock back, without waiting for it.
#pragma once

#include <cstdint>
#include <ctime>

#include "platform/Time.h"

namespace vosk {

class Clock {
  public:
    virtual ~Clock() = default;

    // Seconds since 1970, as time() gives them.
    virtual time_t Time() = 0;
    // Broken-down local time of t; false when it cannot be converted.
    virtual bool LocalCalendar(time_t t, std::tm* out) = 0;
    // The current local time to the millisecond.
    virtual void LocalTimeNow(platform::LocalTime* now) = 0;
    // The current local time with its offset from UTC, for stamps that say
    // their zone. A clock that knows no zone (a test's) keeps UTC: its
    // local time, offset 0.
    virtual void ZonedTimeNow(platform::ZonedTime* now) {
        LocalTimeNow(&now->local);
        now->utcOffsetMinutes = 0;
    }
    // Milliseconds that only ever move forward, whatever the wall clock and
    // the time zone do: every interval is measured with them.
    virtual int64_t MonotonicMs() = 0;

    // The system's clock; it has no state and lives as long as the process.
    static Clock* System();
};

}  // namespace vosk
