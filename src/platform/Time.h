// The local wall clock, the calendar and a monotonic clock.
#pragma once

#include <cstdint>
#include <ctime>

namespace vosk::platform {

// Local time to the millisecond. The fields, their widths and their order
// are those of the Windows SYSTEMTIME on every system, since a log's
// callers hand stamps of this shape to it.
struct LocalTime {
    uint16_t year;
    uint16_t month;      // 1..12
    uint16_t dayOfWeek;  // 0 = Sunday
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};
void LocalTimeNow(LocalTime* now);
// Thread-safe broken-down local time of t; false when it cannot be
// converted. Each thread keeps the last second it converted (Time.cpp), so
// that the records of one second make one zone lookup.
bool LocalCalendar(time_t t, std::tm* out);
// The zone lookup itself, uncached: each platform's.
bool ZoneCalendar(time_t t, std::tm* out);
// Milliseconds from an arbitrary start that never moves back and ignores
// changes of the wall clock and of the time zone: for measuring intervals.
int64_t MonotonicMs();

}  // namespace vosk::platform
