#include "text/FloatText.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "platform/Locale.h"
#include "text/DecimalDigits.h"

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

// %.Nf of a double in 64-bit integer arithmetic, for the precisions and
// magnitudes of nearly every log record: a fraction of a few decimals of
// a value below 2^63. The value is m * 2^e exactly; the decimals are
// frac(v) * 10^N = f * 5^N / 2^(k - N) (k = -e bits after the point),
// rounded half to even on that exact product, which is what printf and
// to_chars give in the default rounding mode.
constexpr int32_t kExactFixedPrecision = 18;
constexpr uint64_t kPowersOf5[kExactFixedPrecision + 1] = {1ull,
                                                           5ull,
                                                           25ull,
                                                           125ull,
                                                           625ull,
                                                           3125ull,
                                                           15625ull,
                                                           78125ull,
                                                           390625ull,
                                                           1953125ull,
                                                           9765625ull,
                                                           48828125ull,
                                                           244140625ull,
                                                           1220703125ull,
                                                           6103515625ull,
                                                           30517578125ull,
                                                           152587890625ull,
                                                           762939453125ull,
                                                           3814697265625ull};
constexpr uint64_t kPowersOf10[kExactFixedPrecision + 1] = {1ull,
                                                            10ull,
                                                            100ull,
                                                            1000ull,
                                                            10000ull,
                                                            100000ull,
                                                            1000000ull,
                                                            10000000ull,
                                                            100000000ull,
                                                            1000000000ull,
                                                            10000000000ull,
                                                            100000000000ull,
                                                            1000000000000ull,
                                                            10000000000000ull,
                                                            100000000000000ull,
                                                            1000000000000000ull,
                                                            10000000000000000ull,
                                                            100000000000000000ull,
                                                            1000000000000000000ull};
// The most text FixedExact writes: 19 integer digits, the point, 18 decimals.
constexpr size_t kExactFixedRoom = 19 + 1 + kExactFixedPrecision;

// The full 128-bit product of a and b: one instruction where the
// compiler has 128-bit integers, else from 32-bit halves (the 32-bit
// target, whose test suite covers that form).
void Multiply(uint64_t a, uint64_t b, uint64_t* high, uint64_t* low) {
#if defined(__SIZEOF_INT128__)
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    *low = static_cast<uint64_t>(product);
    *high = static_cast<uint64_t>(product >> 64);
    return;
#endif
    const uint64_t a0 = a & 0xffffffffu;
    const uint64_t a1 = a >> 32;
    const uint64_t b0 = b & 0xffffffffu;
    const uint64_t b1 = b >> 32;
    const uint64_t p00 = a0 * b0;
    const uint64_t p01 = a0 * b1;
    const uint64_t p10 = a1 * b0;
    const uint64_t middle = (p00 >> 32) + (p01 & 0xffffffffu) + (p10 & 0xffffffffu);
    *low = (middle << 32) | (p00 & 0xffffffffu);
    *high = a1 * b1 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
}

// Rounds the 128-bit product high:low shifted right by shift (1 to 95),
// half to even on odd; the quotient fits 64 bits.
uint64_t ShiftRounded(uint64_t high, uint64_t low, uint32_t shift, bool* tieOrAbove, bool* above) {
    uint64_t quotient;
    if (shift < 64) {
        quotient = (low >> shift) | (high << (64 - shift));
        const uint64_t rest = low & ((uint64_t{1} << shift) - 1);
        const uint64_t half = uint64_t{1} << (shift - 1);
        *tieOrAbove = rest >= half;
        *above = rest > half;
    } else if (shift == 64) {
        quotient = high;
        const uint64_t half = uint64_t{1} << 63;
        *tieOrAbove = low >= half;
        *above = low > half;
    } else {
        quotient = high >> (shift - 64);
        const uint64_t rest = high & ((uint64_t{1} << (shift - 64)) - 1);
        const uint64_t half = uint64_t{1} << (shift - 65);
        *tieOrAbove = rest >= half;
        *above = rest > half || (rest == half && low != 0);
    }
    return quotient;
}

}  // namespace

int64_t FloatText::FixedExact(char* out, size_t room, double v, int32_t precision, bool hash) {
    if (precision < 0 || precision > kExactFixedPrecision || room < kExactFixedRoom) {
        return kNotExact;
    }
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const uint32_t biased = static_cast<uint32_t>(bits >> 52) & 0x7ffu;
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    uint64_t integer = 0;
    uint64_t decimals = 0;
    if (biased == 0) {
        if (fraction != 0) {
            return kNotExact;
        }
    } else {
        const uint64_t m = fraction | (uint64_t{1} << 52);
        const int32_t e = static_cast<int32_t>(biased) - 1075;
        const uint32_t n = static_cast<uint32_t>(precision);
        if (e >= 0) {
            if (e > 10) {
                return kNotExact;
            }
            integer = m << e;
        } else {
            const uint32_t k = static_cast<uint32_t>(-e);
            uint64_t f = m;
            if (k < 64) {
                integer = m >> k;
                f = m & ((uint64_t{1} << k) - 1);
            }
            if (k <= n) {
                // No more bits than decimals: the decimals are exact.
                decimals = (f * kPowersOf5[n]) << (n - k);
            } else if (k - n < 96) {
                uint64_t high;
                uint64_t low;
                Multiply(f, kPowersOf5[n], &high, &low);
                bool tieOrAbove = false;
                bool above = false;
                decimals = ShiftRounded(high, low, k - n, &tieOrAbove, &above);
                const uint64_t last = n > 0 ? decimals : integer;
                if (above || (tieOrAbove && (last & 1) != 0)) {
                    if (++decimals == kPowersOf10[n]) {
                        decimals = 0;
                        ++integer;
                    }
                }
            }
            // Otherwise f * 5^N < 2^95 is below half of 2^(k - N): all zeros.
        }
    }
    char* p = out + DecimalDigits::Forward(integer, out);
    if (precision > 0 || hash) {
        *p++ = '.';
    }
    if (precision > 0) {
        DecimalDigits::Fixed(decimals, static_cast<uint32_t>(precision), p);
    }
    return p + precision - out;
}

namespace {}  // namespace

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
    if constexpr (std::is_same<T, double>::value) {
        if (style == Style::kFixed) {
            const int64_t n = FloatText::FixedExact(out, room, std::fabs(v), precision, hash);
            if (n != kNotExact) {
                return n;
            }
        }
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
