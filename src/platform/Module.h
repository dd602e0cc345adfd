// Where the process's executable is.
#pragma once

#include <cstddef>

#include "platform/NativeTypes.h"

namespace vosk::platform {

// Full path of the process's main executable into buffer (always
// terminated); the length, or 0 when it cannot be obtained.
size_t ExecutablePath(char* buffer, size_t size);
// The executable's directory: the path cut before its last separator.
// Empty when the path cannot be obtained. Always terminated.
void ExecutableDirectory(char* buffer, size_t size);

}  // namespace vosk::platform
