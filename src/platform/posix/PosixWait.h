// Helpers shared by the POSIX mutex, event and thread code.
#pragma once

#include <pthread.h>
#include <time.h>

#include <cstdint>

namespace vosk::platform {

// Keeps a POSIX cancellation from acting inside our own waits: a
// pthread_cond_wait that is cancelled would unwind with the mutex taken
// and leave the object locked for good. The cancellation stays pending and
// acts at the thread's next cancellation point outside.
class CancelHold {
  public:
    CancelHold() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous_); }
    ~CancelHold() {
        int ignored;
        pthread_setcancelstate(previous_, &ignored);
    }
    CancelHold(const CancelHold&) = delete;
    CancelHold& operator=(const CancelHold&) = delete;

  private:
    int previous_;
};

// In a child process just forked: the mutex made fresh, unowned and
// without waiters (the threads that held or waited for it are the
// parent's).
void MutexReinitAfterFork(void* mutex);

// A condition variable measured on CLOCK_MONOTONIC, so that a change of the
// wall clock does not stretch or cut a time-out.
inline void MonotonicCondInit(pthread_cond_t* cond) {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(cond, &attr);
    pthread_condattr_destroy(&attr);
}

// The CLOCK_MONOTONIC instant that lies milliseconds from now.
inline timespec MonotonicDeadline(uint32_t milliseconds) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_sec += static_cast<time_t>(milliseconds / 1000);
    t.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

}  // namespace vosk::platform
