// The stamps a log writes at the start of a record, and the ones a user
// gives to pick a range, as civil fields with the zone they say:
//   [2026-12-11 05:41:07.123]          local time of the writer's zone
//   [2026-12-11 05:41:07.123 +01:00]   local time with its UTC offset
//   [2026-12-11 05:41:07.123Z]         UTC
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vosklogread {

struct Stamp {
    enum class Zone { kNone, kOffset, kUtc };
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    Zone zone = Zone::kNone;
    int offsetMinutes = 0;  // east of UTC positive; with kOffset only
};

// The stamp a record line starts with, in any of the three forms; false for
// a line that does not start with one (a continuation line, raw text).
bool ParseRecordStamp(const char* line, size_t length, Stamp* stamp);

// The length of a record's stamp of this form, brackets included.
size_t StampLength(const Stamp& stamp);

// A stamp as a user writes it: the record forms with or without brackets,
// 'T' or a blank between date and time, seconds and milliseconds optional,
// the zone as "Z", "+hh:mm", "+hhmm" or "+hh" (or none: local). A date
// alone is its midnight. False for anything else, and for fields out of
// range.
bool ParseGivenStamp(const std::string& text, Stamp* stamp);

// The fields read as if they were UTC, in milliseconds since 1970: the
// time itself for a UTC stamp, the wall clock reading for a local one.
int64_t WallMs(const Stamp& stamp);

// The instant of a stamp that carries its zone (kUtc or kOffset).
int64_t ZonedMs(const Stamp& stamp);

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t CivilDays(int64_t year, int64_t month, int64_t day);

}  // namespace vosklogread
