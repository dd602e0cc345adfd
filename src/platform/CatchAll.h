// The one place that catches everything.
//
// A POSIX thread cancellation unwinds the thread with a special exception
// that must go on (the process aborts when a catch (...) swallows it), and
// any code that does file I/O or waits may be where it starts. Every
// handler that catches everything goes through here, so that none can
// forget it.
#pragma once

#include "platform/Thread.h"

namespace vosk::platform {

// Runs body. True when it returned; false when it let an exception out,
// which ends here. A thread cancellation goes on unwinding.
template <class Body>
bool CatchAll(Body&& body) {
    try {
        body();
        return true;
    } catch (...) {
        RethrowIfThreadCancellation();
        return false;
    }
}

}  // namespace vosk::platform
