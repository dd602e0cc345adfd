#include <windows.h>

#include "platform/Module.h"
#include "platform/win32/DllEntry.h"

namespace vosk::platform {

static_assert(kDllProcessAttach == DLL_PROCESS_ATTACH && kDllProcessDetach == DLL_PROCESS_DETACH,
              "the entry point's notifications");

size_t ExecutablePath(char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, static_cast<DWORD>(size));
    if (n == 0 || n >= size) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[n] = '\0';
    return n;
}

}  // namespace vosk::platform
