#include <unistd.h>

#include <cstring>

#include "platform/Platform.h"

namespace vosk::platform {

size_t ExecutablePath(char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
    if (n <= 0) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[n] = '\0';
    return static_cast<size_t>(n);
}

void ExecutableDirectory(char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return;
    }
    // 512 bytes is what the Windows layer asks for; POSIX paths may be longer.
    char path[4096];
    if (ExecutablePath(path, sizeof(path)) == 0) {
        buffer[0] = '\0';
        return;
    }
    // A POSIX path separates with '/', and the layer accepts '\' as well.
    // A separator at index 0 is the root itself and is kept whole.
    size_t cut = 0;
    for (size_t i = 1; path[i] != '\0'; ++i) {
        if (path[i] == '/' || path[i] == '\\') {
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
