// Locks and waits between the threads of one process.
#pragma once

#include <cstdint>

#include "platform/NativeTypes.h"

namespace vosk::platform {

// ---------------------------------------------------------------- sections
// A process-local, recursive lock without time-out, released only by the
// thread that holds it. A waiter spins briefly before it blocks, since the
// library holds its locks for a short time only. The storage is embedded
// (its size is each platform's, platform/NativeTypes.h) so that a lock
// costs no allocation.
void SectionInit(SectionStorage* section);
void SectionDelete(SectionStorage* section);
void SectionEnter(SectionStorage* section);
void SectionLeave(SectionStorage* section);
// Enters without waiting; false when another thread holds the section.
bool SectionTryEnter(SectionStorage* section);
// In a child process just forked: a fresh, unlocked section in place of one
// that a thread of the parent, which does not exist here, may have held.
void SectionReinitAfterFork(SectionStorage* section);

// ------------------------------------------ mutexes and condition variables
// A plain mutex (not recursive, no spinning) and a condition variable that
// waits with it, embedded as the sections are: pthread_mutex_t and
// pthread_cond_t on POSIX, SRWLOCK and CONDITION_VARIABLE on Windows. The
// lock analysis knows a mutex by these calls; their bodies are the
// system's, which it does not know.
void MutexInit(MutexStorage* mutex);
void MutexDelete(MutexStorage* mutex);
void MutexLock(MutexStorage* mutex) ACQUIRE(*mutex) NO_THREAD_SAFETY_ANALYSIS;
void MutexUnlock(MutexStorage* mutex) RELEASE(*mutex) NO_THREAD_SAFETY_ANALYSIS;

void CondInit(CondStorage* cond);
void CondDelete(CondStorage* cond);
// Wakes one thread waiting on cond, if any.
void CondSignal(CondStorage* cond);
// Called with mutex held: lets go of it, waits until woken or until
// timeoutMs milliseconds have passed (negative: without limit), and holds
// it again. False when the time ran out. A wait may also end for no
// reason: callers test their own state in a loop.
bool CondWait(CondStorage* cond, MutexStorage* mutex, int32_t timeoutMs) REQUIRES(*mutex);

}  // namespace vosk::platform
