// What the renderers of the printf-style engine share: the result of one
// conversion, the state of one call, and the steps of rendering a
// conversion in place at a buffer's cursor. A renderer first reserves the
// room its conversion can need, renders there, and commits what it wrote;
// nothing is ever written beyond the room reserved.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "platform/NativeTypes.h"
#include "text/FormatArguments.h"
#include "text/FormatSpec.h"
#include "text/TextBuffer.h"

namespace vosk {
namespace format {

// Whether the call goes on after a conversion: kStop when the room it
// needed could not be made.
enum class Step { kContinue, kStop };

// What one call keeps across its conversions.
struct CallState {
    int savedErrno = 0;
    int64_t count = 0;
    // -1 until the first floating-point conversion asks.
    int viaCLibrary = -1;
};

// Room reserved beyond the larger of width and precision.
constexpr int64_t kIntegerMargin = 16;
constexpr int64_t kFloatMargin = 42;

// Makes room for total bytes and a NUL; false when it cannot be made.
inline bool Room(TextBuffer& target, int64_t total) {
    if (total < 0 || total + 1 > INT32_MAX) {
        return false;
    }
    return target.Prepare(static_cast<int32_t>(total + 1)) != nullptr;
}

// Makes the room the conversion asks for first (FirstReservation).
inline bool First(TextBuffer& target, const Conversion& conv, int64_t margin) {
    int64_t n = FirstReservation(conv, margin);
    return n <= INT32_MAX && target.Prepare(static_cast<int32_t>(n)) != nullptr;
}

// Takes the length bytes rendered at the cursor into the content.
inline void Commit(TextBuffer& target, int64_t length, int64_t* count) {
    if (length <= 0) {
        return;
    }
    target.Commit(static_cast<int32_t>(length));
    *count += length;
}

// Pads the length bytes at the cursor to the width (room is there) and
// takes them in. Zeros, when asked for, go after the first `keep` bytes
// (a sign, a "0x").
inline void Pad(TextBuffer& target, const Layout& layout, int64_t length, bool zeros, int64_t keep,
                int64_t* count) {
    char* out = target.Cursor();
    int64_t pad = std::max<int64_t>(layout.width - length, 0);
    if (pad > 0 && layout.left) {
        std::memset(out + length, ' ', static_cast<size_t>(pad));
    } else if (pad > 0) {
        keep = zeros ? keep : 0;
        std::memmove(out + keep + pad, out + keep, static_cast<size_t>(length - keep));
        std::memset(out + keep, zeros ? '0' : ' ', static_cast<size_t>(pad));
    }
    Commit(target, length + pad, count);
}

// Integers and pointers (FormatIntegral.cpp).
Step Integral(TextBuffer& target, const Conversion& conv, Integer v, int64_t* count);
Step Pointer(TextBuffer& target, const Conversion& conv, const void* p, int64_t* count);
// %d and %u without flags, width or precision; false when no room.
bool PlainSigned(TextBuffer& target, int32_t v, int64_t* count);
bool PlainUnsigned(TextBuffer& target, uint32_t v, int64_t* count);

// Characters and strings (FormatString.cpp).
Step Character(TextBuffer& target, const Conversion& conv, va_list* args, int64_t* count);
Step String(TextBuffer& target, const Conversion& conv, const char* text, int64_t* count);
Step WideString(TextBuffer& target, const Conversion& conv, const wchar_t* text, int64_t* count);

// Floating point (FormatFloating.cpp): e, f, g and a of a double and of
// the platform's long double.
Step Floating(TextBuffer& target, const Conversion& conv, double v, CallState* call);
Step LongFloating(TextBuffer& target, const Conversion& conv, platform::HostLongDouble v,
                  CallState* call);
// %f, or %.<digits>f with one or two digits, of the next double argument.
Step PlainFixed(TextBuffer& target, const char* digits, size_t digitCount, va_list* args,
                CallState* call);

}  // namespace format
}  // namespace vosk
