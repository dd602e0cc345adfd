#include <windows.h>

#include <memory>
#include <new>

#include "platform/Thread.h"

namespace vosk::platform {
namespace {

// What the caller's handle points to. The thread has a copy of returned
// (see Trampoline) and touches nothing else.
struct Win32Thread {
    HANDLE thread;
    HANDLE returned;  // manual-reset: set once the procedure has returned
};

// ThreadProc is a plain C++ function; CreateThread wants WINAPI (stdcall on
// i686), so the thread starts here. The record is freed by the new thread.
struct StartRecord {
    ThreadProc procedure;
    void* argument;
    HANDLE returned;
};

DWORD WINAPI Trampoline(LPVOID raw) {
    // Freed before the procedure runs: after it, the thread runs as
    // little of the library's code as it can.
    const StartRecord start = *std::unique_ptr<StartRecord>(static_cast<StartRecord*>(raw));
    const DWORD result = start.procedure(start.argument);
    // The last call of the library's code on this thread: after it the
    // owner may unload the library. What remains is the return into the
    // system; a thread preempted there while the unload completes would
    // run unmapped code. No call from inside the DLL can close that
    // window, and DllMain cannot wait for the thread's handle: the thread
    // needs the loader lock, which DllMain holds, to end.
    SetEvent(start.returned);
    return result;
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
    std::unique_ptr<Win32Thread> record(new (std::nothrow) Win32Thread{nullptr, nullptr});
    if (record == nullptr) {
        return false;
    }
    record->returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::unique_ptr<StartRecord> start(new (std::nothrow)
                                           StartRecord{procedure, argument, record->returned});
    if (record->returned == nullptr || start == nullptr) {
        ThreadClose(record.release());
        return false;
    }
    DWORD id = 0;
    record->thread = CreateThread(nullptr, 0, Trampoline, start.get(), 0, &id);
    if (record->thread == nullptr) {
        ThreadClose(record.release());
        return false;
    }
    start.release();  // the new thread's now
    if (threadId != nullptr) {
        *threadId = id;
    }
    *thread = record.release();  // the caller's, until ThreadClose
    return true;
}

int ThreadTerminate(Handle thread, uint32_t exitCode) {
    if (thread == nullptr) {
        return 0;
    }
    return TerminateThread(static_cast<Win32Thread*>(thread)->thread, exitCode);
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
    const DWORD ms = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return WaitForSingleObject(static_cast<Win32Thread*>(thread)->thread, ms) == WAIT_OBJECT_0;
}

void ThreadClose(Handle thread) {
    if (thread == nullptr) {
        return;
    }
    std::unique_ptr<Win32Thread> record(static_cast<Win32Thread*>(thread));
    // A thread that may still set the event keeps it: a handle closed
    // under it could by then name another object.
    const bool settled = record->thread == nullptr ||
                         WaitForSingleObject(record->returned, 0) == WAIT_OBJECT_0 ||
                         WaitForSingleObject(record->thread, 0) == WAIT_OBJECT_0;
    if (record->returned != nullptr && settled) {
        CloseHandle(record->returned);
    }
    if (record->thread != nullptr) {
        CloseHandle(record->thread);
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
