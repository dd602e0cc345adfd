// A signal built from a platform auto-reset event and a flag guarded by a
// platform mutex. While the flag is set every Wait passes at once; a change
// from clear to set releases one thread already blocked in Wait.
#pragma once

#include <cstdint>

#include "platform/Sync.h"
#include "threading/Signal.h"

namespace vosk {

class FlagSignal : public NullSignal {
  public:
    FlagSignal();
    // Takes over an event and a mutex made by platform::SignalCreate. When
    // either is null the signal never reads as set: Wait fails at once.
    FlagSignal(platform::Handle event, platform::Handle mutex);
    ~FlagSignal() override;
    FlagSignal(const FlagSignal&) = delete;
    FlagSignal& operator=(const FlagSignal&) = delete;

    // 0 when it was set already (the event is not touched); otherwise the
    // platform's result of setting the event, nonzero on success.
    int32_t Set() override;
    // The platform's result of resetting the event, nonzero on success.
    int32_t Reset() override;
    // 0, 258 (time-out) or -1 (failure); see Signal.
    int32_t Wait(int32_t timeoutMs) override;
    // In a child process just forked: fresh platform objects, same flag.
    void ReinitAfterFork() { platform::SignalReinitAfterFork(event_, mutex_); }

  private:
    bool Usable() const { return event_ != nullptr && mutex_ != nullptr; }

    platform::Handle event_ = nullptr;
    platform::Handle mutex_ = nullptr;
    uint8_t signalled_ = 0;  // read and written only while mutex_ is held
};

}  // namespace vosk
