// Where the process's executable is, and loading a shared library the way
// a host does.
#pragma once

#include <cstddef>

#include "platform/NativeTypes.h"
#include "platform/Sync.h"

namespace vosk::platform {

// Full path of the process's main executable into buffer (always
// terminated); the length, or 0 when it cannot be obtained.
size_t ExecutablePath(char* buffer, size_t size);
// The executable's directory: the path cut before its last separator.
// Empty when the path cannot be obtained. Always terminated.
void ExecutableDirectory(char* buffer, size_t size);

// For hosts that load the library (tests, tools, benchmarks); the library
// itself never loads one.
Handle LibraryOpen(const char* path);  // null on failure
void* LibrarySymbol(Handle library, const char* name);
bool LibraryClose(Handle library);

}  // namespace vosk::platform
