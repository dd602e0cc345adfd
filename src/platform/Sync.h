// Locks and signals between the threads of one process.
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

// ------------------------------------------------- mutexes, events, waits
// The mutexes, the signal's event and its waits keep the shapes that the
// library's signal hands on to its callers unchanged on every system: the
// wait results below are the Windows values (0, 258, all bits set), a
// time-out of kInfinite waits without limit, and a mutex is made with an
// initial-owner flag (its low byte) and a name.
using Handle = void*;

constexpr uint32_t kWaitSignalled = 0;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;
constexpr int32_t kInfinite = -1;

// A mutex is recursive and owned: only the thread that holds it releases
// it. Named mutexes are a Windows feature; the POSIX layer refuses a name.
bool MutexCreate(Handle* mutex, int initialOwner, const char* name);
// Releases it when held by the caller, then closes the handle. A mutex that
// another thread holds stays alive until that thread releases it, so an owner
// may close a signal while the thread that set it is still leaving it.
int MutexClose(Handle mutex);
// The wait's result; anything but kWaitFailed means the caller owns the mutex
// (Windows answers WAIT_ABANDONED when the previous owner died holding it).
uint32_t MutexAcquire(Handle mutex);
bool MutexRelease(Handle mutex);

// An unowned mutex and an unnamed auto-reset event, created non-signalled.
// The event is created only when the mutex was. True when both exist.
bool SignalCreate(Handle* event, Handle* mutex);
int SignalClose(Handle event, Handle mutex);
int EventSet(Handle event);    // nonzero on success; releases one waiter
int EventReset(Handle event);  // nonzero on success
// kWaitSignalled (and the event is cleared again), kWaitTimeout or
// kWaitFailed. The time-out is unsigned milliseconds: 0 tests without
// blocking, kInfinite waits without limit.
uint32_t EventWait(Handle event, int32_t timeoutMs);
// In a child process just forked: the signal's mutex and event made fresh
// (unowned, nobody waiting), keeping the event's state.
void SignalReinitAfterFork(Handle event, Handle mutex);

}  // namespace vosk::platform
