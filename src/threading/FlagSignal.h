// A signal built from a flag, a platform mutex and a condition variable.
// While the flag is set every Wait passes at once; a change from clear to
// set releases one thread already blocked in Wait, as a Windows auto-reset
// event does.
#pragma once

#include <cstdint>

#include "platform/Sync.h"
#include "threading/Signal.h"

namespace vosk {

class FlagSignal : public NullSignal {
  public:
    FlagSignal();
    ~FlagSignal() override;
    FlagSignal(const FlagSignal&) = delete;
    FlagSignal& operator=(const FlagSignal&) = delete;

    // 0 when it was set already; 1 when this call set it.
    int32_t Set() override;
    // 1: the flag is clear.
    int32_t Reset() override;
    // kWaitPassed or kWaitTimedOut; see Signal.
    int32_t Wait(int32_t timeoutMs) override;
    // In a child process just forked: a fresh mutex and condition variable
    // (the threads that held or waited for them are the parent's), same
    // flag.
    void ReinitAfterFork();

  private:
    platform::MutexStorage mutex_;
    platform::CondStorage changed_;
    // release_ is the one release that a change from clear to set hands to
    // a blocked waiter; Reset takes it back.
    bool set_ GUARDED_BY(mutex_) = false;
    bool release_ GUARDED_BY(mutex_) = false;
};

}  // namespace vosk
