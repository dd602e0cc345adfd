#include "log/Clock.h"

namespace vosk {

namespace {

class SystemClock final : public Clock {
  public:
    time_t Time() override { return time(nullptr); }
    bool LocalCalendar(time_t t, std::tm* out) override { return platform::LocalCalendar(t, out); }
    void LocalTimeNow(platform::LocalTime* now) override { platform::LocalTimeNow(now); }
};

}  // namespace

Clock* Clock::System() {
    // Trivially destructible in effect and never destroyed: usable from
    // static destructors that run after this one would have.
    static SystemClock* clock = new SystemClock();
    return clock;
}

}  // namespace vosk
