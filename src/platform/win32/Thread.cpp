#include <windows.h>

#include <memory>
#include <new>

#include "platform/Thread.h"

namespace vosk::platform {
namespace {

// ThreadProc is a plain C++ function; CreateThread wants WINAPI (stdcall on
// i686), so the thread starts here. The record is freed by the new thread.
struct StartRecord {
    ThreadProc procedure;
    void* argument;
};

DWORD WINAPI Trampoline(LPVOID raw) {
    // Freed before the procedure runs: after it, the thread runs as
    // little of the library's code as it can.
    const StartRecord start = *std::unique_ptr<StartRecord>(static_cast<StartRecord*>(raw));
    return start.procedure(start.argument);
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
    std::unique_ptr<StartRecord> start(new (std::nothrow) StartRecord{procedure, argument});
    if (start == nullptr) {
        return false;
    }
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, Trampoline, start.get(), 0, &id);
    if (handle == nullptr) {
        return false;
    }
    start.release();  // the new thread's now
    if (threadId != nullptr) {
        *threadId = id;
    }
    *thread = handle;
    return true;
}

int ThreadTerminate(Handle thread, uint32_t exitCode) {
    if (thread == nullptr) {
        return 0;
    }
    return TerminateThread(thread, exitCode);
}

// No wait: see platform/Thread.h. What remains is the return from SetEvent into
// the thread's last frames and their return into the system; a thread
// preempted there while the unload completes would run unmapped code. No
// call from inside the DLL can close that window, and DllMain cannot wait
// for the thread's handle: the thread needs the loader lock, which DllMain
// holds, to end.
bool ThreadReap(Handle) {
    return true;
}

bool ThreadWaitEnd(Handle thread, int32_t timeoutMs) {
    if (thread == nullptr) {
        return true;
    }
    return WaitForSingleObject(thread, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

void ThreadClose(Handle thread) {
    if (thread != nullptr) {
        CloseHandle(thread);
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
