// Where the library reads the time: whole seconds, their local calendar
// time, and the local time with milliseconds for record stamps. Logs (and
// anything else that decides by the time of day) read it through a Clock so
// that a test can move them across midnight without waiting for it.
#pragma once

#include <ctime>

#include "platform/Platform.h"

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

    // The system's clock; it has no state and lives as long as the process.
    static Clock* System();
};

}  // namespace vosk
