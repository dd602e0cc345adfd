// A process-local recursive lock: one Release for every Acquire, released
// only by the thread that holds it, no time-out.
#pragma once

#include "platform/Poll.h"
#include "platform/Sync.h"
#include "threading/Lock.h"

namespace vosk {

class CAPABILITY("mutex") SectionLock : public NullLock {
  public:
    SectionLock() { platform::SectionInit(&section_); }
    ~SectionLock() override { platform::SectionDelete(&section_); }
    SectionLock(const SectionLock&) = delete;
    SectionLock& operator=(const SectionLock&) = delete;

    void Acquire() override ACQUIRE() { platform::SectionEnter(&section_); }
    void Release() override RELEASE() { platform::SectionLeave(&section_); }
    // Acquires the lock when no other thread holds it; false at once otherwise.
    bool TryAcquire() TRY_ACQUIRE(true) { return platform::SectionTryEnter(&section_); }
    // In a child process just forked: unlocked, whoever held it.
    void ReinitAfterFork() { platform::SectionReinitAfterFork(&section_); }
    // Acquires the lock when it can be had within waitMs (0: at once;
    // negative: without limit). For teardown, where a holder may never let
    // go (a thread that the system ended at process exit, a write that
    // hangs).
    bool TryAcquireFor(int32_t waitMs) TRY_ACQUIRE(true) {
        return platform::PollEveryMs(waitMs, [this] { return TryAcquire(); });
    }

  private:
    platform::SectionStorage section_;
};

}  // namespace vosk
