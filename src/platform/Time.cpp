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

}  // namespace vosk::platform
