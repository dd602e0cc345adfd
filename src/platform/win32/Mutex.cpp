#include <windows.h>

#include "platform/Sync.h"

namespace vosk::platform {

static_assert(sizeof(SRWLOCK) <= sizeof(MutexStorage), "mutex storage too small");
static_assert(sizeof(CONDITION_VARIABLE) <= sizeof(CondStorage), "condition storage too small");

static SRWLOCK* AsLock(MutexStorage* mutex) {
    return reinterpret_cast<SRWLOCK*>(mutex->bytes);
}

static CONDITION_VARIABLE* AsCond(CondStorage* cond) {
    return reinterpret_cast<CONDITION_VARIABLE*>(cond->bytes);
}

void MutexInit(MutexStorage* mutex) {
    InitializeSRWLock(AsLock(mutex));
}

// An SRW lock holds no resources.
void MutexDelete(MutexStorage*) {}

void MutexLock(MutexStorage* mutex) {
    AcquireSRWLockExclusive(AsLock(mutex));
}

void MutexUnlock(MutexStorage* mutex) {
    ReleaseSRWLockExclusive(AsLock(mutex));
}

void CondInit(CondStorage* cond) {
    InitializeConditionVariable(AsCond(cond));
}

// A condition variable holds no resources.
void CondDelete(CondStorage*) {}

void CondSignal(CondStorage* cond) {
    WakeConditionVariable(AsCond(cond));
}

bool CondWait(CondStorage* cond, MutexStorage* mutex, int32_t timeoutMs) {
    const DWORD ms = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return SleepConditionVariableSRW(AsCond(cond), AsLock(mutex), ms, 0) != 0;
}

}  // namespace vosk::platform
