#include <windows.h>

#include <cstring>

#include "platform/Platform.h"
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

void ExecutableDirectory(char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return;
    }
    char path[512];
    if (ExecutablePath(path, sizeof(path)) == 0) {
        buffer[0] = '\0';
        return;
    }
    // Cut at the last backslash after the first character; without one the
    // whole name is used.
    size_t cut = 0;
    for (size_t i = 1; path[i] != '\0'; ++i) {
        if (path[i] == '\\') {
            cut = i;
        }
    }
    if (cut != 0) {
        path[cut] = '\0';
    }
    size_t n = strlen(path);
    if (n >= size) {
        n = size - 1;
    }
    memcpy(buffer, path, n);
    buffer[n] = '\0';
}

}  // namespace vosk::platform
