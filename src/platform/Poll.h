// Waiting for a state that nothing announces: trying once a millisecond.
#pragma once

#include <cstdint>

#include "platform/Thread.h"

namespace vosk::platform {

// Calls attempt until it answers true, sleeping 1 ms after each failed try,
// for up to waitMs milliseconds (0: one try; negative: without limit).
// True when a try succeeded. For teardown and other rare waits, where a
// millisecond late costs nothing.
template <class Attempt>
bool PollEveryMs(int32_t waitMs, Attempt&& attempt) {
    for (int32_t waited = 0;; SleepMs(1)) {
        if (attempt()) {
            return true;
        }
        if (waitMs >= 0 && waited++ >= waitMs) {
            return false;
        }
    }
}

}  // namespace vosk::platform
