// One conversion specification of a printf-style format, read with C99
// printf's grammar (flags in any order, width and precision as digits or
// "*", the length modifiers hh h l ll j z t L), and what printf makes of
// its flags, width and precision.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace vosk {
namespace format {

// A width or a precision as the format gives it.
struct Field {
    bool present = false;
    bool star = false;
    int64_t value = 0;  // the argument, or the digits (saturated)
    const char* digits = nullptr;
    size_t digitCount = 0;
};

// printf's length modifiers; L also selects long long for integers, as
// glibc reads it.
enum class Length { kNone, kChar, kShort, kLong, kLongLong, kMax, kSize, kPtrdiff, kLongDouble };

// One conversion specification as read from the format.
struct Conversion {
    bool minus = false;
    bool plus = false;
    bool space = false;
    bool hash = false;
    bool zero = false;
    Field width;
    bool dot = false;
    Field precision;
    Length length = Length::kNone;
    char letter = 0;
};

// What printf makes of the conversion: flags, a width and a precision.
struct Layout {
    bool left = false;
    bool zero = false;
    bool plus = false;
    bool space = false;
    bool hash = false;
    int64_t width = 0;
    bool hasPrecision = false;
    int64_t precision = 0;
};

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the conversion that starts at *cursor (just after its "%"),
// taking the arguments of its "*"s, and moves *cursor past its letter.
// False, with *cursor at the end, when the format ends inside it.
bool ReadConversion(const char** cursor, va_list* args, Conversion* conv);

Layout MakeLayout(const Conversion& conv);

// The room the conversion asks for first: the larger of width and
// precision as written, plus the letter's margin.
inline int64_t FirstReservation(const Conversion& conv, int64_t margin) {
    return std::max(std::max(conv.width.value, conv.precision.value), int64_t{0}) + margin;
}

}  // namespace format
}  // namespace vosk
