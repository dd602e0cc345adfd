// The process-wide receiver of the library's debug messages: a level (a
// smaller number is more important), a printf-style format and its values.
// It points to a function that does nothing; the library never changes it,
// a host or a test may.
#pragma once

#include <cstdint>

namespace vosk {

using DebugHookFunction = void (*)(int32_t level, const char* format, ...);

extern DebugHookFunction DebugHook;

// What DebugHook points to unless someone changes it.
void IgnoreDebugMessage(int32_t level, const char* format, ...);

}  // namespace vosk
