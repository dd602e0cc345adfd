#include "platform/Module.h"

#include <cstring>

namespace vosk::platform {

void ExecutableDirectory(char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return;
    }
    char path[kExecutablePathLimit];
    if (ExecutablePath(path, sizeof(path)) == 0) {
        buffer[0] = '\0';
        return;
    }
    // Cut at the last separator after the first character: one at index 0
    // is the root itself and is kept whole, and without one the whole name
    // is used.
    size_t cut = 0;
    for (size_t i = 1; path[i] != '\0'; ++i) {
        if (strchr(kPathSeparators, path[i]) != nullptr) {
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
