// An auto-reset event from pthreads: a flag with a mutex and a condition
// variable. Set raises the flag and wakes one waiter; the waiter that finds
// the flag raised lowers it again, so one Set lets exactly one Wait through.
#include <errno.h>
#include <pthread.h>

#include <memory>
#include <new>

#include "platform/Sync.h"
#include "platform/posix/PosixWait.h"

namespace vosk::platform {
namespace {

struct PosixEvent {
    pthread_mutex_t lock;  // guards signalled
    pthread_cond_t changed;
    bool signalled = false;
};

}  // namespace

bool SignalCreate(Handle* event, Handle* mutex) {
    if (event == nullptr || mutex == nullptr) {
        return false;
    }
    *event = nullptr;
    if (!MutexCreate(mutex, 0, nullptr)) {
        return false;
    }
    std::unique_ptr<PosixEvent> e(new (std::nothrow) PosixEvent);
    if (e == nullptr) {
        return false;
    }
    pthread_mutex_init(&e->lock, nullptr);
    MonotonicCondInit(&e->changed);
    *event = e.release();  // the caller's, until SignalClose
    return true;
}

int SignalClose(Handle event, Handle mutex) {
    if (event != nullptr) {
        std::unique_ptr<PosixEvent> e(static_cast<PosixEvent*>(event));
        pthread_cond_destroy(&e->changed);
        pthread_mutex_destroy(&e->lock);
    }
    return MutexClose(mutex);
}

void SignalReinitAfterFork(Handle event, Handle mutex) {
    MutexReinitAfterFork(mutex);
    if (event != nullptr) {
        PosixEvent* e = static_cast<PosixEvent*>(event);
        pthread_mutex_init(&e->lock, nullptr);
        MonotonicCondInit(&e->changed);
    }
}

int EventSet(Handle event) {
    if (event == nullptr) {
        return 0;
    }
    PosixEvent* e = static_cast<PosixEvent*>(event);
    pthread_mutex_lock(&e->lock);
    e->signalled = true;
    pthread_cond_signal(&e->changed);
    pthread_mutex_unlock(&e->lock);
    return 1;
}

int EventReset(Handle event) {
    if (event == nullptr) {
        return 0;
    }
    PosixEvent* e = static_cast<PosixEvent*>(event);
    pthread_mutex_lock(&e->lock);
    e->signalled = false;
    pthread_mutex_unlock(&e->lock);
    return 1;
}

uint32_t EventWait(Handle event, int32_t timeoutMs) {
    if (event == nullptr) {
        return kWaitFailed;
    }
    PosixEvent* e = static_cast<PosixEvent*>(event);
    // Windows reads the time-out as unsigned: -1 is INFINITE, other
    // negative values are merely very long.
    const uint32_t ms = static_cast<uint32_t>(timeoutMs);
    CancelHold hold;
    pthread_mutex_lock(&e->lock);
    if (ms == static_cast<uint32_t>(kInfinite)) {
        while (!e->signalled) {
            pthread_cond_wait(&e->changed, &e->lock);
        }
    } else if (ms > 0) {
        const timespec deadline = MonotonicDeadline(ms);
        while (!e->signalled) {
            if (pthread_cond_timedwait(&e->changed, &e->lock, &deadline) == ETIMEDOUT) {
                break;
            }
        }
    }
    uint32_t result = kWaitTimeout;
    if (e->signalled) {
        e->signalled = false;
        result = kWaitSignalled;
    }
    pthread_mutex_unlock(&e->lock);
    return result;
}

}  // namespace vosk::platform
