#include "text/FloatText.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "platform/Platform.h"

namespace vosk {

namespace {

// Exact expansions: the smallest subnormal double has 1074 decimal places
// and at most 767 significant digits; a long double (x87, 64-bit
// mantissa) 16445 places and at most 11505 digits. Precisions beyond add
// only zeros. The hexadecimal form has at most 16 digits after the point.
template <typename T>
struct Limits;
template <>
struct Limits<double> {
    static constexpr int32_t kFixedCap = 1100;
    static constexpr int32_t kScientificCap = 800;
    static constexpr int64_t kIntegerDigits = 309;  // DBL_MAX
};
template <>
struct Limits<long double> {
    static constexpr int32_t kFixedCap = 16500;
    static constexpr int32_t kScientificCap = 11600;
    static constexpr int64_t kIntegerDigits = 4933;  // LDBL_MAX
};
constexpr int32_t kHexCap = 40;

char Lower(FloatText::Style style) {
    switch (style) {
        case FloatText::Style::kFixed:
            return 'f';
        case FloatText::Style::kScientific:
            return 'e';
        case FloatText::Style::kGeneral:
            return 'g';
        case FloatText::Style::kHex:
            break;
    }
    return 'a';
}

template <typename T>
int64_t ViaCLibrary(char* out, size_t room, T v, FloatText::Style style, int32_t precision,
                    bool hash, bool upper) {
    char format[12];
    size_t at = 0;
    format[at++] = '%';
    if (hash) {
        format[at++] = '#';
    }
    if (precision >= 0) {
        format[at++] = '.';
        format[at++] = '*';
    }
    if (std::is_same<T, long double>::value) {
        format[at++] = 'L';
    }
    char letter = Lower(style);
    format[at++] = upper ? static_cast<char>(letter - 'a' + 'A') : letter;
    format[at] = '\0';
    // The signed value: a directed rounding mode rounds -x unlike x.
    int n = precision >= 0 ? std::snprintf(out, room, format, precision, v)
                           : std::snprintf(out, room, format, v);
    if (n < 0 || static_cast<size_t>(n) >= room) {
        return -1;
    }
    if (out[0] == '-') {
        // The caller writes the sign.
        std::memmove(out, out + 1, static_cast<size_t>(n));
        --n;
    }
    return n;
}

template <typename T>
int64_t ViaToChars(char* out, size_t room, T v, FloatText::Style style, int32_t precision,
                   bool hash, bool upper) {
    std::chars_format format = std::chars_format::general;
    if (style == FloatText::Style::kFixed) {
        format = std::chars_format::fixed;
    } else if (style == FloatText::Style::kScientific) {
        format = std::chars_format::scientific;
    }
    // One byte stays free for the point that "#" may add.
    if (room < 2) {
        return -1;
    }
    std::to_chars_result r = std::to_chars(out, out + room - 1, std::fabs(v), format, precision);
    if (r.ec != std::errc()) {
        return -1;
    }
    char* end = r.ptr;
    char* exponent = nullptr;
    if (style != FloatText::Style::kFixed) {
        exponent = static_cast<char*>(std::memchr(out, 'e', static_cast<size_t>(end - out)));
        if (exponent != nullptr && upper) {
            *exponent = 'E';
        }
    }
    if (hash && precision == 0 && style != FloatText::Style::kGeneral) {
        // "#" keeps the point: after the one digit of e, at the end of f.
        char* at = exponent != nullptr ? out + 1 : end;
        std::memmove(at + 1, at, static_cast<size_t>(end - at));
        *at = '.';
        ++end;
    }
    return end - out;
}

}  // namespace

bool FloatText::CLibraryNeeded() {
    const char* radix = platform::NumericRadix();
    return radix[0] != '.' || radix[1] != '\0' || std::fegetround() != FE_TONEAREST;
}

template <typename T>
int32_t FloatText::PrecisionCap(Style style) {
    switch (style) {
        case Style::kFixed:
            return Limits<T>::kFixedCap;
        case Style::kScientific:
        case Style::kGeneral:
            return Limits<T>::kScientificCap;
        case Style::kHex:
            break;
    }
    return kHexCap;
}

template <typename T>
int64_t FloatText::Bound(int32_t precision) {
    // Integer digits, point, exponent with its signs, a few to spare; a
    // locale's radix may take several bytes.
    return Limits<T>::kIntegerDigits + 32 + (precision > 0 ? precision : 0);
}

template <typename T>
int64_t FloatText::Render(char* out, size_t room, T v, Style style, int32_t precision, bool hash,
                          bool upper, bool viaCLibrary) {
    if (viaCLibrary || style == Style::kHex) {
        return ViaCLibrary(out, room, v, style, precision, hash, upper);
    }
    return ViaToChars(out, room, v, style, precision, hash, upper);
}

template <typename T>
int32_t FloatText::Exponent(T v, int32_t significant, bool viaCLibrary) {
    // A rounding that carries into a new leading digit needs a run of
    // nines as long as the digits asked for; the mantissas here give no
    // run longer than about 20, so 48 digits show the exponent for any
    // larger count as well.
    int32_t digits = significant < 48 ? significant : 48;
    char text[96];
    int64_t n =
        Render(text, sizeof text - 1, v, Style::kScientific, digits - 1, false, false, viaCLibrary);
    if (n <= 0) {
        return 0;
    }
    text[n] = '\0';
    const char* e = std::strchr(text, 'e');
    return e != nullptr ? static_cast<int32_t>(std::strtol(e + 1, nullptr, 10)) : 0;
}

template int32_t FloatText::PrecisionCap<double>(Style);
template int32_t FloatText::PrecisionCap<long double>(Style);
template int64_t FloatText::Bound<double>(int32_t);
template int64_t FloatText::Bound<long double>(int32_t);
template int64_t FloatText::Render<double>(char*, size_t, double, Style, int32_t, bool, bool, bool);
template int64_t FloatText::Render<long double>(char*, size_t, long double, Style, int32_t, bool,
                                                bool, bool);
template int32_t FloatText::Exponent<double>(double, int32_t, bool);
template int32_t FloatText::Exponent<long double>(long double, int32_t, bool);

}  // namespace vosk
