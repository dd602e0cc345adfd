#include <windows.h>

#include <ctime>

#include "platform/Time.h"

namespace vosk::platform {

static_assert(sizeof(time_t) == 8, "time_t must be 64-bit");

void LocalTimeNow(LocalTime* now) {
    if (now == nullptr) {
        return;
    }
    SYSTEMTIME st;
    GetLocalTime(&st);
    now->year = st.wYear;
    now->month = st.wMonth;
    now->dayOfWeek = st.wDayOfWeek;
    now->day = st.wDay;
    now->hour = st.wHour;
    now->minute = st.wMinute;
    now->second = st.wSecond;
    now->milliseconds = st.wMilliseconds;
}

bool ZoneCalendar(time_t t, std::tm* out) {
    return out != nullptr && localtime_s(out, &t) == 0;
}

int32_t UtcOffsetSeconds(time_t t, const std::tm& local) {
    // The runtime's tm has no offset: the local fields read as UTC, less t.
    std::tm copy = local;
    copy.tm_isdst = 0;
    const time_t asUtc = _mkgmtime(&copy);
    return asUtc == static_cast<time_t>(-1) ? 0 : static_cast<int32_t>(asUtc - t);
}

void ZonedTimeNow(ZonedTime* now) {
    if (now == nullptr) {
        return;
    }
    // 100 ns steps since 1601-01-01, which is 11644473600 s before 1970.
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const time_t seconds = static_cast<time_t>(ticks / 10000000 - 11644473600ULL);
    const int milliseconds = static_cast<int>(ticks / 10000 % 1000);
    if (!ZonedTimeAt(seconds, milliseconds, now)) {
        LocalTimeNow(&now->local);
        now->utcOffsetMinutes = 0;
    }
}

bool UtcCalendar(time_t t, std::tm* out) {
    return out != nullptr && gmtime_s(out, &t) == 0;
}

int64_t MonotonicMs() {
    return static_cast<int64_t>(GetTickCount64());
}

}  // namespace vosk::platform
