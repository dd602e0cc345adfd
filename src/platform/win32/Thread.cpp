// Threads as callbacks of a private thread pool: one pool of at most one
// thread, one work item, per handle.
//
// A DLL is unloaded under the loader lock, and a thread created with
// CreateThread needs that lock both to begin (its attach notifications) and
// to end (its detach notifications), while its first and last instructions
// are the DLL's own. So an unload could neither wait for such a thread to end
// nor stop one that had not begun: the one had to be trusted to be out of the
// DLL a few instructions after signalling, the other was terminated after a
// time-out. A pool's thread begins and ends in the system's code and only
// calls into the DLL: the pool itself signals when the callback has returned
// (SetEventWhenCallbackReturns), and a callback that has not begun is taken
// off the queue (WaitForThreadpoolWorkCallbacks), neither needing the lock.
#include <windows.h>

#include <atomic>
#include <memory>
#include <new>

#include "platform/Thread.h"

namespace vosk::platform {
namespace {

enum : LONG { kPending = 0, kRunning = 1, kCancelled = 2 };

// What the caller's handle points to. The callback reads the procedure and
// its argument and publishes its thread before it calls the procedure, and
// touches nothing of it afterwards.
struct Win32Thread {
    ThreadProc procedure = nullptr;
    void* argument = nullptr;
    PTP_POOL pool = nullptr;
    PTP_WORK work = nullptr;
    // Manual-reset; set by the pool once the callback has returned into it,
    // or by a cancellation.
    HANDLE returned = nullptr;
    // The pool thread that runs the procedure, for a termination.
    std::atomic<HANDLE> thread{nullptr};
    std::atomic<LONG> state{kPending};
};

void Free(Win32Thread* record) {
    if (record->work != nullptr) {
        CloseThreadpoolWork(record->work);
    }
    // The pool's thread leaves on its own, in the system's code.
    if (record->pool != nullptr) {
        CloseThreadpool(record->pool);
    }
    if (record->returned != nullptr) {
        CloseHandle(record->returned);
    }
    if (HANDLE thread = record->thread.load()) {
        CloseHandle(thread);
    }
    delete record;
}

VOID CALLBACK RunProcedure(PTP_CALLBACK_INSTANCE instance, PVOID raw, PTP_WORK) {
    Win32Thread* record = static_cast<Win32Thread*>(raw);
    SetEventWhenCallbackReturns(instance, record->returned);
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self,
                    THREAD_TERMINATE | SYNCHRONIZE, FALSE, 0);
    record->thread.store(self);
    LONG pending = kPending;
    if (!record->state.compare_exchange_strong(pending, kRunning)) {
        return;  // cancelled: the canceller waits for this return
    }
    const ThreadProc procedure = record->procedure;
    void* const argument = record->argument;
    procedure(argument);
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
    std::unique_ptr<Win32Thread> record(new (std::nothrow) Win32Thread);
    if (record == nullptr) {
        return false;
    }
    record->procedure = procedure;
    record->argument = argument;
    record->returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    record->pool = CreateThreadpool(nullptr);
    if (record->returned != nullptr && record->pool != nullptr) {
        // The procedure is all that the pool runs.
        SetThreadpoolThreadMaximum(record->pool, 1);
        TP_CALLBACK_ENVIRON environment;
        InitializeThreadpoolEnvironment(&environment);
        SetThreadpoolCallbackPool(&environment, record->pool);
        record->work = CreateThreadpoolWork(RunProcedure, record.get(), &environment);
        DestroyThreadpoolEnvironment(&environment);
    }
    if (record->work == nullptr) {
        Free(record.release());
        return false;
    }
    SubmitThreadpoolWork(record->work);
    // The pool picks its thread when the callback begins.
    if (threadId != nullptr) {
        *threadId = 0;
    }
    *thread = record.release();  // the caller's, until ThreadClose
    return true;
}

bool ThreadCancelUnstarted(Handle thread) {
    if (thread == nullptr) {
        return false;
    }
    Win32Thread* record = static_cast<Win32Thread*>(thread);
    LONG pending = kPending;
    if (!record->state.compare_exchange_strong(pending, kCancelled)) {
        return pending == kCancelled;
    }
    // Takes the callback off the queue, or waits for one that has just
    // begun: it finds the state cancelled and returns at once.
    WaitForThreadpoolWorkCallbacks(record->work, TRUE);
    SetEvent(record->returned);
    return true;
}

int ThreadTerminate(Handle thread, uint32_t exitCode) {
    if (thread == nullptr) {
        return 0;
    }
    if (ThreadCancelUnstarted(thread)) {
        return 1;
    }
    HANDLE running = static_cast<Win32Thread*>(thread)->thread.load();
    return running != nullptr && TerminateThread(running, exitCode) ? 1 : 0;
}

bool ThreadWaitReturn(Handle thread, int32_t timeoutMs) {
    if (thread == nullptr) {
        return true;
    }
    const DWORD ms = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return WaitForSingleObject(static_cast<Win32Thread*>(thread)->returned, ms) == WAIT_OBJECT_0;
}

bool ThreadWaitEnd(Handle thread, int32_t timeoutMs) {
    if (thread == nullptr) {
        return true;
    }
    Win32Thread* record = static_cast<Win32Thread*>(thread);
    const DWORD ms = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    HANDLE running = record->thread.load();
    if (running == nullptr) {
        return WaitForSingleObject(record->returned, ms) == WAIT_OBJECT_0;
    }
    // Returned (the pool thread goes on), or ended (terminated).
    HANDLE either[2] = {record->returned, running};
    return WaitForMultipleObjects(2, either, FALSE, ms) < WAIT_OBJECT_0 + 2;
}

void ThreadClose(Handle thread) {
    if (thread == nullptr) {
        return;
    }
    Win32Thread* record = static_cast<Win32Thread*>(thread);
    HANDLE running = record->thread.load();
    const bool settled = record->state.load() == kCancelled ||
                         WaitForSingleObject(record->returned, 0) == WAIT_OBJECT_0 ||
                         (running != nullptr && WaitForSingleObject(running, 0) == WAIT_OBJECT_0);
    // A callback that may still run keeps its record, its pool and the event
    // the pool sets when it returns: a handle closed under it could by then
    // name another object.
    if (settled) {
        Free(record);
    }
}

bool ThreadsEndBeforeExitHooks() {
    return true;
}

uint32_t CurrentThreadId() {
    return GetCurrentThreadId();
}

uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

bool CurrentThreadYieldsOnWake() {
    return false;
}

void SleepMs(uint32_t milliseconds) {
    Sleep(milliseconds);
}

// TerminateThread unwinds nothing, so there is no cancellation to let
// through and none to hold off.
void RethrowIfThreadCancellation() {}

int ThreadHoldCancellation() {
    return 0;
}

void ThreadRestoreCancellation(int) {}

}  // namespace vosk::platform
