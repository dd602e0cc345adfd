#include <unistd.h>

#include "platform/Module.h"

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

}  // namespace vosk::platform
