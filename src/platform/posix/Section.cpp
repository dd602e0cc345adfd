#include <pthread.h>

#include <new>

#include "platform/Sync.h"

namespace vosk::platform {

static_assert(sizeof(pthread_mutex_t) <= sizeof(SectionStorage), "section storage too small");
static_assert(alignof(pthread_mutex_t) <= alignof(SectionStorage), "section storage misaligned");

// A lock of the library is held for one write() at most, shorter than
// the sleep and wake-up of a blocked thread: a waiter tries this many
// times, pausing in between, before it blocks.
constexpr int kSpinTries = 100;

static void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

static pthread_mutex_t* AsMutex(SectionStorage* section) {
    return reinterpret_cast<pthread_mutex_t*>(section->bytes);
}

void SectionInit(SectionStorage* section) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (section->bytes) pthread_mutex_t, &attr);
    pthread_mutexattr_destroy(&attr);
}

void SectionDelete(SectionStorage* section) {
    pthread_mutex_destroy(AsMutex(section));
}

void SectionEnter(SectionStorage* section) {
    pthread_mutex_t* mutex = AsMutex(section);
    for (int tries = 0; tries < kSpinTries; ++tries) {
        if (pthread_mutex_trylock(mutex) == 0) {
            return;
        }
        SpinPause();
    }
    pthread_mutex_lock(mutex);
}

void SectionLeave(SectionStorage* section) {
    pthread_mutex_unlock(AsMutex(section));
}

void SectionReinitAfterFork(SectionStorage* section) {
    SectionInit(section);
}

bool SectionTryEnter(SectionStorage* section) {
    return pthread_mutex_trylock(AsMutex(section)) == 0;
}

}  // namespace vosk::platform
