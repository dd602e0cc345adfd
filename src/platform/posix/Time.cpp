#include <time.h>

#include <cstring>

#include "platform/Time.h"

namespace vosk::platform {

static_assert(sizeof(time_t) == 8, "time_t must be 64-bit");

bool ZoneCalendar(time_t t, std::tm* out) {
    return out != nullptr && localtime_r(&t, out) != nullptr;
}

bool UtcCalendar(time_t t, std::tm* out) {
    return out != nullptr && gmtime_r(&t, out) != nullptr;
}

void LocalTimeNow(LocalTime* now) {
    if (now == nullptr) {
        return;
    }
    struct timespec ts;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) {
        ts.tv_sec = time(nullptr);
        ts.tv_nsec = 0;
    }
    const int milliseconds = static_cast<int>(ts.tv_nsec / 1000000);
    if (LocalTimeAt(ts.tv_sec, milliseconds, now)) {
        return;
    }
    std::tm utc;
    if (!UtcCalendar(ts.tv_sec, &utc)) {
        memset(now, 0, sizeof(*now));
        return;
    }
    now->year = static_cast<uint16_t>(utc.tm_year + 1900);
    now->month = static_cast<uint16_t>(utc.tm_mon + 1);
    now->dayOfWeek = static_cast<uint16_t>(utc.tm_wday);
    now->day = static_cast<uint16_t>(utc.tm_mday);
    now->hour = static_cast<uint16_t>(utc.tm_hour);
    now->minute = static_cast<uint16_t>(utc.tm_min);
    now->second = static_cast<uint16_t>(utc.tm_sec);
    now->milliseconds = static_cast<uint16_t>(milliseconds);
}

int32_t UtcOffsetSeconds(time_t, const std::tm& local) {
    return static_cast<int32_t>(local.tm_gmtoff);
}

void ZonedTimeNow(ZonedTime* now) {
    if (now == nullptr) {
        return;
    }
    struct timespec ts;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) {
        ts.tv_sec = time(nullptr);
        ts.tv_nsec = 0;
    }
    if (!ZonedTimeAt(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1000000), now)) {
        // As LocalTimeNow does: UTC when the zone cannot say.
        LocalTimeNow(&now->local);
        now->utcOffsetMinutes = 0;
    }
}

int64_t MonotonicMs() {
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
        return 0;
    }
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace vosk::platform
