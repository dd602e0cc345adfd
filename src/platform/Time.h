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
// A local time with how far it is ahead of UTC, for stamps that say their
// zone: the offset tells apart the two hours of a fall-back.
struct ZonedTime {
    LocalTime local;
    int32_t utcOffsetMinutes;  // east of Greenwich positive
};
// The local time of t plus milliseconds, with its offset, through the
// cached LocalCalendar; false when t cannot be converted.
bool ZonedTimeAt(time_t t, int milliseconds, ZonedTime* out);
void ZonedTimeNow(ZonedTime* now);
// The offset from UTC, in seconds, of local, t's local calendar time.
int32_t UtcOffsetSeconds(time_t t, const std::tm& local);
// Thread-safe broken-down local time of t; false when it cannot be
// converted. Each thread keeps the last second it converted (Time.cpp), so
// that the records of one second make one zone lookup.
bool LocalCalendar(time_t t, std::tm* out);
// Thread-safe broken-down UTC time of t; false when it cannot be converted.
bool UtcCalendar(time_t t, std::tm* out);
// The local time of t plus milliseconds, from the same cache; false when t
// cannot be converted.
bool LocalTimeAt(time_t t, int milliseconds, LocalTime* out);
// The zone lookup itself, uncached: each platform's.
bool ZoneCalendar(time_t t, std::tm* out);
// Milliseconds from an arbitrary start that never moves back and ignores
// changes of the wall clock and of the time zone: for measuring intervals.
int64_t MonotonicMs();

}  // namespace vosk::platform
