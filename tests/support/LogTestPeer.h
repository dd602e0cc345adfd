// What tests may reach inside a log beyond its interface.
#pragma once

#include <atomic>

#include "log/Log.h"

namespace vosk::test {

class LogTestPeer {
  public:
    // The next record takes the way of a busy log: rendered before the
    // lock is taken and written after it is let go, whether or not
    // another thread is writing.
    static void RenderNextBeforeLock(Log& log) {
        log.contended_.store(true, std::memory_order_relaxed);
    }
    // A writer found the lock held and renders its records beforehand.
    static bool Busy(const Log& log) { return log.contended_.load(std::memory_order_relaxed); }
};

}  // namespace vosk::test
