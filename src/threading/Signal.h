// The signal family: a condition that can be set and reset, and that a
// thread can wait for with a time-out.
#pragma once

#include <cstdint>

namespace vosk {

// The results of a wait as the Windows waits give them, which callers have
// always compared: passed, or the time ran out.
constexpr int32_t kWaitPassed = 0;
constexpr int32_t kWaitTimedOut = 258;

class Signal {
  public:
    virtual ~Signal() = default;
    // Results as each variant describes; a Set on a set signal answers 0.
    virtual int32_t Set() = 0;
    virtual int32_t Reset() = 0;
    // 0 when the signal is set or becomes set within the time-out
    // (milliseconds; 0 tests, -1 waits without limit); nonzero otherwise.
    virtual int32_t Wait(int32_t timeoutMs) = 0;

    // Signals live inside one process and carry no name. Nothing relies on
    // these answers; they are fixed for the whole family.
    virtual bool IsNamed() const final { return false; }
    virtual bool IsProcessLocal() const final { return true; }
};

// Always signalled: for owners that need the interface but never wait.
class NullSignal : public Signal {
  public:
    int32_t Set() override { return 0; }
    int32_t Reset() override { return 0; }
    int32_t Wait(int32_t) override { return 0; }
};

}  // namespace vosk
