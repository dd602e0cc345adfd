// The arguments of a printf-style format as each conversion takes them:
// the type its length modifier names, promoted as variadic calls pass it.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "text/FormatSpec.h"

namespace vosk {
namespace format {

// An integer argument as the integer conversions render it.
struct Integer {
    uint64_t magnitude = 0;
    bool negative = false;
};

template <typename T>
T Take(va_list* args) {
    // Types narrower than int arrive promoted.
    if constexpr (sizeof(T) < sizeof(int)) {
        return static_cast<T>(va_arg(*args, int));
    } else {
        return va_arg(*args, T);
    }
}

template <typename T>
Integer FromSigned(T v) {
    Integer out;
    const int64_t wide = v;
    out.negative = wide < 0;
    out.magnitude =
        out.negative ? uint64_t{0} - static_cast<uint64_t>(wide) : static_cast<uint64_t>(wide);
    return out;
}

inline Integer TakeSigned(va_list* args, Length length) {
    switch (length) {
        case Length::kChar:
            return FromSigned(static_cast<signed char>(Take<int>(args)));
        case Length::kShort:
            return FromSigned(static_cast<short>(Take<int>(args)));
        case Length::kLong:
            return FromSigned(Take<long>(args));
        case Length::kLongLong:
        case Length::kLongDouble:
            return FromSigned(Take<long long>(args));
        case Length::kMax:
            return FromSigned(Take<intmax_t>(args));
        case Length::kSize:
            return FromSigned(Take<std::make_signed_t<size_t>>(args));
        case Length::kPtrdiff:
            return FromSigned(Take<ptrdiff_t>(args));
        case Length::kNone:
            break;
    }
    return FromSigned(Take<int>(args));
}

inline uint64_t TakeUnsigned(va_list* args, Length length) {
    switch (length) {
        case Length::kChar:
            return static_cast<unsigned char>(Take<unsigned>(args));
        case Length::kShort:
            return static_cast<unsigned short>(Take<unsigned>(args));
        case Length::kLong:
            return Take<unsigned long>(args);
        case Length::kLongLong:
        case Length::kLongDouble:
            return Take<unsigned long long>(args);
        case Length::kMax:
            return Take<uintmax_t>(args);
        case Length::kSize:
            return Take<size_t>(args);
        case Length::kPtrdiff:
            return static_cast<std::make_unsigned_t<ptrdiff_t>>(Take<ptrdiff_t>(args));
        case Length::kNone:
            break;
    }
    return Take<unsigned>(args);
}

}  // namespace format
}  // namespace vosk
