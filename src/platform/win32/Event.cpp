#include <windows.h>

#include "platform/Sync.h"

namespace vosk::platform {

bool SignalCreate(Handle* event, Handle* mutex) {
    if (event == nullptr || mutex == nullptr) {
        return false;
    }
    *event = nullptr;
    if (!MutexCreate(mutex, 0, nullptr)) {
        return false;
    }
    *event = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // auto-reset, non-signalled
    return *event != nullptr;
}

int SignalClose(Handle event, Handle mutex) {
    if (event != nullptr) {
        CloseHandle(event);
    }
    return MutexClose(mutex);
}

// Windows has no fork.
void SignalReinitAfterFork(Handle, Handle) {}

int EventSet(Handle event) {
    return event != nullptr ? SetEvent(event) : 0;
}

int EventReset(Handle event) {
    return event != nullptr ? ResetEvent(event) : 0;
}

uint32_t EventWait(Handle event, int32_t timeoutMs) {
    if (event == nullptr) {
        return kWaitFailed;
    }
    return WaitForSingleObject(event, static_cast<DWORD>(timeoutMs));
}

}  // namespace vosk::platform
