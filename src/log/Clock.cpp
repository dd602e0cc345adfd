#include "log/Clock.h"

#include <new>

namespace vosk {

namespace {

class SystemClock final : public Clock {
  public:
    time_t Time() override { return time(nullptr); }
    bool LocalCalendar(time_t t, std::tm* out) override { return platform::LocalCalendar(t, out); }
    void LocalTimeNow(platform::LocalTime* now) override { platform::LocalTimeNow(now); }
    void ZonedTimeNow(platform::ZonedTime* now) override { platform::ZonedTimeNow(now); }
    int64_t MonotonicMs() override { return platform::MonotonicMs(); }
};

}  // namespace

Clock* Clock::System() {
    // Built in static storage and never destroyed: usable from static
    // destructors that run late, and nothing is left on the heap when the
    // library is unloaded.
    alignas(SystemClock) static unsigned char storage[sizeof(SystemClock)];
    static SystemClock* clock = new (storage) SystemClock();
    return clock;
}

}  // namespace vosk
