#include <time.h>

#include <cstring>

#include "platform/Time.h"

namespace vosk::platform {

static_assert(sizeof(time_t) == 8, "time_t must be 64-bit");

namespace {

// localtime_r takes a process-wide lock and may read the zone file again,
// which is too slow for every record. Zone offsets change on whole seconds
// only, so the broken-down time of one second is exact for all of its
// milliseconds; each thread keeps the last second it converted.
struct SecondCache {
    bool valid = false;
    time_t second = 0;
    std::tm calendar{};
};

thread_local SecondCache tCache;

const std::tm* CachedCalendar(time_t t) {
    SecondCache& cache = tCache;
    if (!cache.valid || cache.second != t) {
        std::tm tm;
        if (localtime_r(&t, &tm) == nullptr) {
            return nullptr;
        }
        cache.calendar = tm;
        cache.second = t;
        cache.valid = true;
    }
    return &cache.calendar;
}

}  // namespace

void LocalTimeNow(LocalTime* now) {
    if (now == nullptr) {
        return;
    }
    struct timespec ts;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) {
        ts.tv_sec = time(nullptr);
        ts.tv_nsec = 0;
    }
    const std::tm* calendar = CachedCalendar(ts.tv_sec);
    std::tm utc;
    if (calendar == nullptr) {
        calendar = gmtime_r(&ts.tv_sec, &utc);
    }
    if (calendar == nullptr) {
        memset(now, 0, sizeof(*now));
        return;
    }
    const std::tm& tm = *calendar;
    now->year = static_cast<uint16_t>(tm.tm_year + 1900);
    now->month = static_cast<uint16_t>(tm.tm_mon + 1);
    now->dayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    now->day = static_cast<uint16_t>(tm.tm_mday);
    now->hour = static_cast<uint16_t>(tm.tm_hour);
    now->minute = static_cast<uint16_t>(tm.tm_min);
    now->second = static_cast<uint16_t>(tm.tm_sec);
    now->milliseconds = static_cast<uint16_t>(ts.tv_nsec / 1000000);
}

bool LocalCalendar(time_t t, std::tm* out) {
    if (out == nullptr) {
        return false;
    }
    const std::tm* calendar = CachedCalendar(t);
    if (calendar == nullptr) {
        return false;
    }
    *out = *calendar;
    return true;
}

int64_t MonotonicMs() {
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
        return 0;
    }
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace vosk::platform
