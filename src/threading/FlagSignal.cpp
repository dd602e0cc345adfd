#include "threading/FlagSignal.h"

namespace vosk {
namespace {

// Only a failed wait leaves the mutex unowned; Windows reports an abandoned
// mutex (its owner died) as a success of its own kind.
bool Acquired(uint32_t waitResult) {
    return waitResult != platform::kWaitFailed;
}

}  // namespace

FlagSignal::FlagSignal() {
    platform::SignalCreate(&event_, &mutex_);
}

FlagSignal::FlagSignal(platform::Handle event, platform::Handle mutex)
    : event_(event), mutex_(mutex) {}

FlagSignal::~FlagSignal() {
    platform::SignalClose(event_, mutex_);
}

// The event calls are made while the mutex is held (they never block), so
// that releasing the mutex is the last thing Set does. A thread that sees
// the signal set may destroy it at once: a worker's exit signal is set as
// the worker's very last act, and its owner destroys it as soon as it sees it.
// The platform mutex outlives its closing for as long as its owner holds it.
int32_t FlagSignal::Set() {
    if (!Usable()) {
        return 0;
    }
    const platform::Handle mutex = mutex_;
    if (!Acquired(platform::MutexAcquire(mutex))) {
        return 0;
    }
    int32_t result = 0;
    if (signalled_ == 0) {
        signalled_ = 1;
        result = platform::EventSet(event_);
    }
    platform::MutexRelease(mutex);
    return result;
}

// Reset under the mutex too: a Set racing with it can then never leave the
// flag set and the event cleared, or the other way round.
int32_t FlagSignal::Reset() {
    if (!Usable()) {
        return 0;
    }
    if (!Acquired(platform::MutexAcquire(mutex_))) {
        return 0;
    }
    signalled_ = 0;
    const int32_t result = platform::EventReset(event_);
    platform::MutexRelease(mutex_);
    return result;
}

// The mutex is never held across the wait. A Set between the test and the
// wait leaves the event signalled, so the wait returns at once; a Reset in
// between clears it, and the wait blocks as it should for a clear signal.
int32_t FlagSignal::Wait(int32_t timeoutMs) {
    if (!Usable() || !Acquired(platform::MutexAcquire(mutex_))) {
        return static_cast<int32_t>(platform::kWaitFailed);
    }
    const bool set = signalled_ != 0;
    platform::MutexRelease(mutex_);
    if (set) {
        return 0;
    }
    return static_cast<int32_t>(platform::EventWait(event_, timeoutMs));
}

}  // namespace vosk
