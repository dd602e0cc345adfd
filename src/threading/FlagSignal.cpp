#include "threading/FlagSignal.h"

#include "platform/Time.h"

namespace vosk {

FlagSignal::FlagSignal() {
    platform::MutexInit(&mutex_);
    platform::CondInit(&changed_);
}

FlagSignal::~FlagSignal() {
    platform::CondDelete(&changed_);
    platform::MutexDelete(&mutex_);
}

void FlagSignal::ReinitAfterFork() {
    platform::MutexInit(&mutex_);
    platform::CondInit(&changed_);
}

int32_t FlagSignal::Set() {
    platform::MutexLock(&mutex_);
    const bool change = !set_;
    if (change) {
        set_ = true;
        release_ = true;
        platform::CondSignal(&changed_);
    }
    platform::MutexUnlock(&mutex_);
    return change ? 1 : 0;
}

int32_t FlagSignal::Reset() {
    platform::MutexLock(&mutex_);
    set_ = false;
    release_ = false;
    platform::MutexUnlock(&mutex_);
    return 1;
}

// A waiter that finds the flag clear waits for the release of the next
// Set and takes it, so that one Set lets one blocked waiter through; others
// go on waiting for their own time-out, as they would for an auto-reset
// event.
int32_t FlagSignal::Wait(int32_t timeoutMs) {
    platform::MutexLock(&mutex_);
    bool passed = set_;
    if (!passed) {
        const int64_t deadline = platform::MonotonicMs() + timeoutMs;
        for (int64_t left = timeoutMs; !release_ && left != 0;) {
            platform::CondWait(&changed_, &mutex_, static_cast<int32_t>(left));
            if (timeoutMs >= 0) {
                const int64_t now = platform::MonotonicMs();
                left = now < deadline ? deadline - now : 0;
            }
        }
        passed = release_;
        release_ = false;
    }
    platform::MutexUnlock(&mutex_);
    return passed ? kWaitPassed : kWaitTimedOut;
}

}  // namespace vosk
