// Appends formatted text to any text buffer through the engine's va_list
// entry point, as the library's own callers reach it.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "text/TextBuffer.h"

namespace vosk::test {

inline int32_t Append(TextBuffer& buffer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int32_t count = buffer.AppendFormatV(format, args);
    va_end(args);
    return count;
}

}  // namespace vosk::test
