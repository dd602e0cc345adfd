#include "platform/Time.h"

namespace vosk::platform {

namespace {

// A zone lookup takes a process-wide lock and may read the zone file again,
// which is too slow for every record. Zone offsets change on whole seconds
// only, so the broken-down time of one second is exact for all of its
// milliseconds.
struct SecondCache {
    bool valid = false;
    time_t second = 0;
    std::tm calendar{};
};

thread_local SecondCache tCache;

}  // namespace

bool LocalCalendar(time_t t, std::tm* out) {
    if (out == nullptr) {
        return false;
    }
    SecondCache& cache = tCache;
    if (!cache.valid || cache.second != t) {
        std::tm tm;
        if (!ZoneCalendar(t, &tm)) {
            return false;
        }
        cache.calendar = tm;
        cache.second = t;
        cache.valid = true;
    }
    *out = cache.calendar;
    return true;
}

bool ZonedTimeAt(time_t t, int milliseconds, ZonedTime* out) {
    std::tm tm;
    if (out == nullptr || !LocalCalendar(t, &tm)) {
        return false;
    }
    LocalTime& local = out->local;
    local.year = static_cast<uint16_t>(tm.tm_year + 1900);
    local.month = static_cast<uint16_t>(tm.tm_mon + 1);
    local.dayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    local.day = static_cast<uint16_t>(tm.tm_mday);
    local.hour = static_cast<uint16_t>(tm.tm_hour);
    local.minute = static_cast<uint16_t>(tm.tm_min);
    local.second = static_cast<uint16_t>(tm.tm_sec);
    local.milliseconds = static_cast<uint16_t>(milliseconds);
    out->utcOffsetMinutes = UtcOffsetSeconds(t, tm) / 60;
    return true;
}

}  // namespace vosk::platform
