// A process-local recursive lock: one Release for every Acquire, released
// only by the thread that holds it, no time-out.
#pragma once

#include "platform/Sync.h"
#include "platform/Thread.h"
#include "threading/Lock.h"

namespace vosk {

class SectionLock : public NullLock {
  public:
    SectionLock() { platform::SectionInit(&section_); }
    ~SectionLock() override { platform::SectionDelete(&section_); }
    SectionLock(const SectionLock&) = delete;
    SectionLock& operator=(const SectionLock&) = delete;

    void Acquire() override { platform::SectionEnter(&section_); }
    void Release() override { platform::SectionLeave(&section_); }
    // Acquires the lock when no other thread holds it; false at once otherwise.
    bool TryAcquire() { return platform::SectionTryEnter(&section_); }
    // In a child process just forked: unlocked, whoever held it.
    void ReinitAfterFork() { platform::SectionReinitAfterFork(&section_); }
    // Acquires the lock when it can be had within waitMs (0: at once).
    // For teardown, where a holder may never let go (a thread that the
    // system ended at process exit, a write that hangs).
    bool TryAcquireFor(int32_t waitMs) {
        for (int32_t waited = 0;; ++waited) {
            if (platform::SectionTryEnter(&section_)) {
                return true;
            }
            if (waited >= waitMs) {
                return false;
            }
            platform::SleepMs(1);
        }
    }

  private:
    platform::SectionStorage section_;
};

}  // namespace vosk
