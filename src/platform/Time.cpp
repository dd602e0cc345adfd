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
    // The calendar's fields as a stamp takes them, milliseconds 0: a
    // record's stamp copies them rather than converting each time.
    LocalTime local{};
};

thread_local SecondCache tCache;

// This thread's cache, made to hold t; null when t cannot be converted.
// Out of line: the path of a second already held stays short.
[[gnu::noinline]] const SecondCache* Converted(time_t t) {
    std::tm tm;
    if (!ZoneCalendar(t, &tm)) {
        return nullptr;
    }
    SecondCache& cache = tCache;
    cache.calendar = tm;
    cache.local.year = static_cast<uint16_t>(tm.tm_year + 1900);
    cache.local.month = static_cast<uint16_t>(tm.tm_mon + 1);
    cache.local.dayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    cache.local.day = static_cast<uint16_t>(tm.tm_mday);
    cache.local.hour = static_cast<uint16_t>(tm.tm_hour);
    cache.local.minute = static_cast<uint16_t>(tm.tm_min);
    cache.local.second = static_cast<uint16_t>(tm.tm_sec);
    cache.local.milliseconds = 0;
    cache.second = t;
    cache.valid = true;
    return &cache;
}

// This thread's cache, holding t; null when t cannot be converted.
inline const SecondCache* CacheOf(time_t t) {
    const SecondCache* cache = &tCache;
    return cache->valid && cache->second == t ? cache : Converted(t);
}

}  // namespace

bool LocalCalendar(time_t t, std::tm* out) {
    if (out == nullptr) {
        return false;
    }
    const SecondCache* cache = CacheOf(t);
    if (cache == nullptr) {
        return false;
    }
    *out = cache->calendar;
    return true;
}

bool LocalTimeAt(time_t t, int milliseconds, LocalTime* out) {
    const SecondCache* cache = out != nullptr ? CacheOf(t) : nullptr;
    if (cache == nullptr) {
        return false;
    }
    *out = cache->local;
    out->milliseconds = static_cast<uint16_t>(milliseconds);
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
