// Threads from pthreads, with Windows-like identifiers (the kernel's thread
// id from gettid) and a last-resort terminate built on deferred
// cancellation.
//
// Ownership: ThreadCreate returns a heap record holding the joinable
// pthread_t. Only the handle's owner uses it: ThreadTerminate cancels
// through it, ThreadWaitReturn and ThreadWaitEnd join it, ThreadClose detaches a
// thread nobody joined and frees the record. The new thread never touches
// the record.
#include <cxxabi.h>
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <new>

#include "platform/Poll.h"
#include "platform/Thread.h"
#include "platform/posix/PosixWait.h"

namespace vosk::platform {
namespace {

struct PosixThread {
    pthread_t thread;
    bool joined = false;
};

// Lives on the creating thread's stack until the new thread has published
// its identifier; the new thread does not touch it afterwards.
struct StartRecord {
    ThreadProc procedure;
    void* argument;
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t ready = PTHREAD_COND_INITIALIZER;
    bool published = false;
    uint32_t id = 0;
};

void* Trampoline(void* raw) {
    StartRecord* start = static_cast<StartRecord*>(raw);
    const ThreadProc procedure = start->procedure;
    void* const argument = start->argument;
    pthread_mutex_lock(&start->lock);
    start->id = CurrentThreadId();
    start->published = true;
    pthread_cond_signal(&start->ready);
    pthread_mutex_unlock(&start->lock);
    return reinterpret_cast<void*>(static_cast<uintptr_t>(procedure(argument)));
}

}  // namespace

bool ThreadCreate(ThreadProc procedure, void* argument, uint32_t* threadId, Handle* thread) {
    if (thread == nullptr) {
        return false;
    }
    *thread = nullptr;
    if (procedure == nullptr) {
        return false;
    }
    std::unique_ptr<PosixThread> record(new (std::nothrow) PosixThread);
    if (record == nullptr) {
        return false;
    }
    StartRecord start;
    start.procedure = procedure;
    start.argument = argument;
    if (pthread_create(&record->thread, nullptr, Trampoline, &start) != 0) {
        return false;
    }
    {
        CancelHold hold;
        pthread_mutex_lock(&start.lock);
        while (!start.published) {
            pthread_cond_wait(&start.ready, &start.lock);
        }
        pthread_mutex_unlock(&start.lock);
    }
    pthread_cond_destroy(&start.ready);
    pthread_mutex_destroy(&start.lock);
    if (threadId != nullptr) {
        *threadId = start.id;
    }
    *thread = record.release();  // the caller's, until ThreadClose
    return true;
}

// ThreadCreate has waited for the thread to begin.
bool ThreadCancelUnstarted(Handle) {
    return false;
}

int ThreadTerminate(Handle thread, uint32_t /*exitCode*/) {
    if (thread == nullptr) {
        return 0;
    }
    return pthread_cancel(static_cast<PosixThread*>(thread)->thread) == 0 ? 1 : 0;
}

bool ThreadWaitEnd(Handle thread, int32_t timeoutMs) {
    if (thread == nullptr) {
        return true;
    }
    PosixThread* record = static_cast<PosixThread*>(thread);
    // Polled, so that the wait is measured on the monotonic clock and seen
    // by the thread checkers, which know pthread_tryjoin_np.
    CancelHold hold;
    if (!record->joined) {
        record->joined = PollEveryMs(
            timeoutMs, [record] { return pthread_tryjoin_np(record->thread, nullptr) == 0; });
    }
    return record->joined;
}

// A join: the procedure has then returned and the thread has ended.
bool ThreadWaitReturn(Handle thread, int32_t timeoutMs) {
    return ThreadWaitEnd(thread, timeoutMs);
}

void ThreadClose(Handle thread) {
    if (thread == nullptr) {
        return;
    }
    std::unique_ptr<PosixThread> record(static_cast<PosixThread*>(thread));
    if (!record->joined) {
        pthread_detach(record->thread);
    }
}

bool ThreadsEndBeforeExitHooks() {
    return false;
}

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(gettid());
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(getpid());
}

bool CurrentThreadYieldsOnWake() {
#ifdef SCHED_BATCH
    // The same share of the processor as before; only the wake-up
    // preemption goes.
    struct sched_param param = {};
    return pthread_setschedparam(pthread_self(), SCHED_BATCH, &param) == 0;
#else
    return false;
#endif
}

// Not instrumented by the address checker: a cancellation that unwinds
// instrumented frames leaves their stack marks behind, and the checker's own
// stack clean-up on the next throw reports them falsely (gcc 12). Nothing
// of this frame is left behind when the thread is cancelled in here.
__attribute__((no_sanitize("address"))) void SleepMs(uint32_t milliseconds) {
    timespec remaining;
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

// Kept out of the sanitizers' reach: the runtime hands a handler of the
// cancellation a null object (it is no C++ exception), which the
// undefined-behaviour checker reports; and the cancellation's unwinding
// leaves the address checker's stale marks on the stack below, which its
// preparation for a rethrow trips over (a false report).
__attribute__((no_sanitize("address", "null"))) void RethrowIfThreadCancellation() {
    // Inside a catch (...), rethrowing the exception being handled and
    // catching it again by type is the one portable way to learn what it is.
    try {
        throw;
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
    }
}

int ThreadHoldCancellation() {
    int previous = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);
    return previous;
}

void ThreadRestoreCancellation(int previous) {
    int ignored;
    pthread_setcancelstate(previous, &ignored);
}

}  // namespace vosk::platform
