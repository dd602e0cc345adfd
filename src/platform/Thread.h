// Threads: starting, ending and reaping them, and what a thread may ask
// about itself.
#pragma once

#include <cstdint>

#include "platform/NativeTypes.h"

namespace vosk::platform {

using ThreadProc = uint32_t (*)(void* argument);
using Handle = void*;

// Starts the thread at once. True when a handle was obtained; *threadId
// (may be null) is then the value CurrentThreadId() gives on that thread
// where the system names it at once (POSIX), or 0 where the thread is
// picked only when the procedure begins (Windows).
//
// The handle is the caller's, to be given to ThreadClose exactly once; the
// thread itself never touches it. It is a small record: on POSIX holding
// the joinable pthread (ThreadClose detaches it unless ThreadWaitReturn or
// ThreadWaitEnd joined it); on Windows a private thread pool of one thread
// with the procedure as its one work item, and an event the pool sets once
// the procedure has returned into it. POSIX returns once the new thread has
// begun; on Windows the procedure may begin later: a pool thread begins with
// the loader lock, which a DLL's load and unload hold.
bool ThreadCreate(ThreadProc procedure, void* argument, uint32_t* threadId, Handle* thread);
// For an owner that no longer wants the procedure to run: true when it had
// not begun and now never will (ThreadWaitReturn then answers true at
// once), also when an earlier call cancelled it; false when it has begun.
// Never waits for the procedure to begin. POSIX: always false, since the
// thread has begun by the time ThreadCreate returns.
bool ThreadCancelUnstarted(Handle thread);
// Last resort for a thread that does not end; nonzero on success. Never
// waits. Windows kills the thread where it stands (TerminateThread), or
// cancels a procedure that has not begun. POSIX has no safe equivalent:
// the thread is cancelled (deferred), so it unwinds from its next
// cancellation point (sleep, file I/O, ...); exitCode is not used. The
// library's own waits (CondWait) are not cancellation points, so a thread is
// never cancelled while it holds one of their locks.
int ThreadTerminate(Handle thread, uint32_t exitCode);
// Waits up to the time-out (negative: without limit) for the procedure to
// return. When this answers true, the thread runs none of the caller's code
// any more, so a library may be unloaded. POSIX joins the thread. Windows
// waits for the event that the pool sets after the callback has returned
// into the pool's own code: a DLL is unloaded under the loader lock, which
// an ending thread needs for its detach notifications, so waiting there for
// a thread's end would never return.
bool ThreadWaitReturn(Handle thread, int32_t timeoutMs);
// After ThreadTerminate: waits up to the time-out for the thread to end (or
// for the procedure to have returned or been cancelled). True then, false
// when it may still run (then nothing it may touch must be freed). A
// terminated thread needs no loader lock to end.
bool ThreadWaitEnd(Handle thread, int32_t timeoutMs);
// Forgets the handle; the thread itself is not affected. Null is ignored.
void ThreadClose(Handle thread);
uint32_t CurrentThreadId();
uint32_t CurrentProcessId();
// Makes the calling thread one that waking never puts ahead of the thread
// that woke it: a background thread that a writer wakes must not take the
// writer's processor in the middle of its call. POSIX: SCHED_BATCH where
// the system has it. Windows: nothing (a woken thread there gets a short
// boost only, and no preference over the waker). False when unchanged.
bool CurrentThreadYieldsOnWake();
// True where the system ends every other thread of a process before the
// libraries' exit hooks run (Windows); false where they keep running until
// the process is gone (POSIX).
bool ThreadsEndBeforeExitHooks();
// Sleeps the calling thread; on POSIX a cancellation point, where a
// terminated thread ends.
void SleepMs(uint32_t milliseconds);

// A POSIX cancellation unwinds the thread with a special exception that a
// catch (...) must not swallow (the process aborts if it does). This
// rethrows a cancellation and returns for any other exception; call it
// only inside a catch handler. Code catches everything through CatchAll
// (platform/CatchAll.h), which calls it. Windows: returns at once.
void RethrowIfThreadCancellation();
// A cancellation that reaches a destructor or other noexcept code aborts the
// process. Code that may block or do file I/O there (destroying a payload
// that closes its file) holds cancellation off meanwhile:
//     int previous = ThreadHoldCancellation(); ...; ThreadRestoreCancellation(previous);
// Windows: nothing to hold.
int ThreadHoldCancellation();
void ThreadRestoreCancellation(int previous);

}  // namespace vosk::platform
