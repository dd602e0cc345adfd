// Waiting for a state that nothing announces: trying once a millisecond.
#pragma once

#include <cstdint>

#include "platform/Thread.h"
#include "platform/ThreadAnnotations.h"

namespace vosk::platform {

// Calls attempt until it answers true, sleeping 1 ms after each failed try,
// for up to waitMs milliseconds (0: one try; negative: without limit).
// True when a try succeeded. For teardown and other rare waits, where a
// millisecond late costs nothing. attempt runs on the caller's thread,
// holding whatever locks the caller holds: an attempt that needs one says
// so itself, which the lock analysis cannot follow through here.
template <class Attempt>
bool PollEveryMs(int32_t waitMs, Attempt&& attempt) NO_THREAD_SAFETY_ANALYSIS {
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
