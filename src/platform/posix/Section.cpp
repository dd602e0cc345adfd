#include <pthread.h>

#include <new>

#include "platform/Platform.h"

namespace vosk::platform {

static_assert(sizeof(pthread_mutex_t) <= sizeof(SectionStorage), "section storage too small");
static_assert(alignof(pthread_mutex_t) <= alignof(SectionStorage), "section storage misaligned");

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
    pthread_mutex_lock(AsMutex(section));
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
