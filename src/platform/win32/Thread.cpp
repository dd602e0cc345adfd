#include <windows.h>

#include <new>

#include "platform/Platform.h"

namespace vosk::platform {
namespace {

// ThreadProc is a plain C++ function; CreateThread wants WINAPI (stdcall on
// i686), so the thread starts here. The record is freed by the new thread.
struct StartRecord {
    ThreadProc procedure;
    void* argument;
};

DWORD WINAPI Trampoline(LPVOID raw) {
    StartRecord start = *static_cast<StartRecord*>(raw);
    delete static_cast<StartRecord*>(raw);
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
    StartRecord* start = new (std::nothrow) StartRecord{procedure, argument};
    if (start == nullptr) {
        return false;
    }
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, Trampoline, start, 0, &id);
    if (handle == nullptr) {
        delete start;
        return false;
    }
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

void ThreadClose(Handle thread) {
    if (thread != nullptr) {
        CloseHandle(thread);
    }
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
