#include <windows.h>

#include "platform/Sync.h"

namespace vosk::platform {

bool MutexCreate(Handle* mutex, int initialOwner, const char* name) {
    if (mutex == nullptr) {
        return false;
    }
    *mutex = CreateMutexA(nullptr, (initialOwner & 0xFF) != 0 ? TRUE : FALSE, name);
    return *mutex != nullptr;
}

int MutexClose(Handle mutex) {
    if (mutex == nullptr) {
        return 0;
    }
    // A zero wait succeeds when the mutex is free or already ours; it times
    // out only when another thread holds it, and then ReleaseMutex fails
    // harmlessly. Closing the last handle ends the object either way.
    if (WaitForSingleObject(mutex, 0) == WAIT_TIMEOUT) {
        ReleaseMutex(mutex);
    }
    return CloseHandle(mutex);
}

uint32_t MutexAcquire(Handle mutex) {
    if (mutex == nullptr) {
        return kWaitFailed;
    }
    return WaitForSingleObject(mutex, INFINITE);
}

bool MutexRelease(Handle mutex) {
    return mutex != nullptr && ReleaseMutex(mutex) != 0;
}

}  // namespace vosk::platform
