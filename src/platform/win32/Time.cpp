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

int64_t MonotonicMs() {
    return static_cast<int64_t>(GetTickCount64());
}

}  // namespace vosk::platform
