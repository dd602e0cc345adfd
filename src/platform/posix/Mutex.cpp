// A Windows-style mutex from pthreads: recursive, owned by one thread, and
// released only by its owner (ReleaseMutex fails for anyone else).
//
// Closing is deferred while another thread owns the mutex or waits for it:
// the record is freed by whoever lets go of it last. A FlagSignal's Set
// releases the mutex as its very last step, and the thread waiting for that
// signal may already be destroying it; the Windows kernel keeps the object
// alive in that case, and so do we.
#include <pthread.h>

#include <memory>
#include <new>

#include "platform/Sync.h"
#include "platform/posix/PosixWait.h"

namespace vosk::platform {
namespace {

struct PosixMutex {
    pthread_mutex_t lock;     // guards the fields below
    pthread_cond_t released;  // signalled when depth drops to 0
    pthread_t owner;          // valid while depth > 0
    uint32_t depth = 0;       // recursion count; 0 when nobody owns it
    uint32_t waiting = 0;     // threads blocked in MutexAcquire
    bool closed = false;      // MutexClose was called; free when idle
};

bool OwnedByCaller(const PosixMutex* m) {
    return m->depth > 0 && pthread_equal(m->owner, pthread_self()) != 0;
}

// Called with m->lock held; unlocks it and frees m when closing was deferred
// and nobody needs it any more.
void UnlockMaybeFree(PosixMutex* m) {
    bool free = m->closed && m->depth == 0 && m->waiting == 0;
    pthread_mutex_unlock(&m->lock);
    if (free) {
        std::unique_ptr<PosixMutex> freed(m);
        pthread_cond_destroy(&freed->released);
        pthread_mutex_destroy(&freed->lock);
    }
}

}  // namespace

bool MutexCreate(Handle* mutex, int initialOwner, const char* name) {
    if (mutex == nullptr) {
        return false;
    }
    *mutex = nullptr;
    if (name != nullptr) {
        return false;  // no process-shared named mutexes here
    }
    std::unique_ptr<PosixMutex> m(new (std::nothrow) PosixMutex);
    if (m == nullptr) {
        return false;
    }
    pthread_mutex_init(&m->lock, nullptr);
    pthread_cond_init(&m->released, nullptr);
    if ((initialOwner & 0xFF) != 0) {
        m->owner = pthread_self();
        m->depth = 1;
    }
    *mutex = m.release();  // freed when closed and idle
    return true;
}

void MutexReinitAfterFork(void* mutex) {
    if (mutex == nullptr) {
        return;
    }
    PosixMutex* m = static_cast<PosixMutex*>(mutex);
    pthread_mutex_init(&m->lock, nullptr);
    pthread_cond_init(&m->released, nullptr);
    m->depth = 0;
    m->waiting = 0;
}

int MutexClose(Handle mutex) {
    if (mutex == nullptr) {
        return 0;
    }
    PosixMutex* m = static_cast<PosixMutex*>(mutex);
    pthread_mutex_lock(&m->lock);
    if (OwnedByCaller(m)) {
        m->depth = 0;
        pthread_cond_signal(&m->released);
    }
    m->closed = true;
    UnlockMaybeFree(m);
    return 1;
}

uint32_t MutexAcquire(Handle mutex) {
    if (mutex == nullptr) {
        return kWaitFailed;
    }
    PosixMutex* m = static_cast<PosixMutex*>(mutex);
    CancelHold hold;
    pthread_mutex_lock(&m->lock);
    if (!OwnedByCaller(m)) {
        ++m->waiting;
        while (m->depth > 0) {
            pthread_cond_wait(&m->released, &m->lock);
        }
        --m->waiting;
        m->owner = pthread_self();
    }
    ++m->depth;
    pthread_mutex_unlock(&m->lock);
    return kWaitSignalled;
}

bool MutexRelease(Handle mutex) {
    if (mutex == nullptr) {
        return false;
    }
    PosixMutex* m = static_cast<PosixMutex*>(mutex);
    pthread_mutex_lock(&m->lock);
    if (!OwnedByCaller(m)) {
        pthread_mutex_unlock(&m->lock);
        return false;
    }
    if (--m->depth == 0) {
        pthread_cond_signal(&m->released);
    }
    UnlockMaybeFree(m);
    return true;
}

}  // namespace vosk::platform
