#include <errno.h>
#include <pthread.h>
#include <time.h>

#include <new>

#include "platform/Sync.h"
#include "platform/posix/PosixWait.h"

namespace vosk::platform {

static_assert(sizeof(pthread_mutex_t) <= sizeof(MutexStorage), "mutex storage too small");
static_assert(alignof(pthread_mutex_t) <= alignof(MutexStorage), "mutex storage misaligned");
static_assert(sizeof(pthread_cond_t) <= sizeof(CondStorage), "condition storage too small");
static_assert(alignof(pthread_cond_t) <= alignof(CondStorage), "condition storage misaligned");

static pthread_mutex_t* AsMutex(MutexStorage* mutex) {
    return reinterpret_cast<pthread_mutex_t*>(mutex->bytes);
}

static pthread_cond_t* AsCond(CondStorage* cond) {
    return reinterpret_cast<pthread_cond_t*>(cond->bytes);
}

void MutexInit(MutexStorage* mutex) {
    pthread_mutex_init(new (mutex->bytes) pthread_mutex_t, nullptr);
}

void MutexDelete(MutexStorage* mutex) {
    pthread_mutex_destroy(AsMutex(mutex));
}

void MutexLock(MutexStorage* mutex) {
    pthread_mutex_lock(AsMutex(mutex));
}

void MutexUnlock(MutexStorage* mutex) {
    pthread_mutex_unlock(AsMutex(mutex));
}

// Measured on CLOCK_MONOTONIC, so that a change of the wall clock does not
// stretch or cut a time-out.
void CondInit(CondStorage* cond) {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(new (cond->bytes) pthread_cond_t, &attr);
    pthread_condattr_destroy(&attr);
}

void CondDelete(CondStorage* cond) {
    pthread_cond_destroy(AsCond(cond));
}

void CondSignal(CondStorage* cond) {
    pthread_cond_signal(AsCond(cond));
}

// The CLOCK_MONOTONIC instant that lies milliseconds from now.
static timespec MonotonicDeadline(uint32_t milliseconds) {
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

bool CondWait(CondStorage* cond, MutexStorage* mutex, int32_t timeoutMs) {
    // A cancelled wait would unwind with the mutex held.
    CancelHold hold;
    if (timeoutMs < 0) {
        return pthread_cond_wait(AsCond(cond), AsMutex(mutex)) == 0;
    }
    const timespec deadline = MonotonicDeadline(static_cast<uint32_t>(timeoutMs));
    return pthread_cond_timedwait(AsCond(cond), AsMutex(mutex), &deadline) != ETIMEDOUT;
}

}  // namespace vosk::platform
