// The one place that catches everything.
//
// A POSIX thread cancellation unwinds the thread with a special exception
// that must go on (the process aborts when a catch (...) swallows it), and
// any code that does file I/O or waits may be where it starts. Every
// handler that catches everything goes through here, so that none can
// forget it.
#pragma once

#include "platform/Thread.h"
#include "platform/ThreadAnnotations.h"

namespace vosk::platform {

// Runs body. True when it returned; false when it let an exception out,
// which ends here. A thread cancellation goes on unwinding. body runs
// holding whatever locks the caller holds: a body that needs one says so
// itself, which the lock analysis cannot follow through here.
template <class Body>
bool CatchAll(Body&& body) NO_THREAD_SAFETY_ANALYSIS {
    try {
        body();
        return true;
    } catch (...) {
        RethrowIfThreadCancellation();
        return false;
    }
}

}  // namespace vosk::platform
