// The digits of a floating-point conversion, without sign or padding: what
// printf writes for the magnitude of a finite value under e, f, g or a.
//
// The decimal forms come from std::to_chars, which gives the exact,
// correctly rounded digits that glibc's printf gives, without the C
// library's big-number work area. Two settings change printf's text and
// not to_chars': a numeric locale whose radix is not "." and a rounding
// mode other than to-nearest. Under either, and always for the hexadecimal
// form, the digits come from the C library's snprintf, with a bounded
// precision and no width, so that no C library sees an unbounded request.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vosk {

class FloatText {
  public:
    enum class Style { kFixed, kScientific, kGeneral, kHex };

    // Whether the C library must render the decimal forms (see above);
    // read once per formatting call.
    static bool CLibraryNeeded();

    // The largest precision each style renders itself: beyond it a value
    // of the type has no digits left but zeros (f of any double ends within
    // 1074 decimal places, e within 767 significant digits), which the
    // caller appends. g drops them, so it is simply rendered at the cap.
    template <typename T>
    static int32_t PrecisionCap(Style style);

    // Room that always suffices for Render at precision (capped).
    template <typename T>
    static int64_t Bound(int32_t precision);

    // Renders the magnitude of v (finite) into [out, out + room): what
    // printf writes for v after its sign.
    // precision: digits after the point (f, e, a) or significant digits
    // (g), already capped; -1 for a's exact form. hash: printf's "#" for f,
    // e and a (always a point); g with "#" is turned into f or e by the
    // caller. upper: E, F, G or A. Returns the length, or -1 when it does
    // not fit in room.
    template <typename T>
    static int64_t Render(char* out, size_t room, T v, Style style, int32_t precision, bool hash,
                          bool upper, bool viaCLibrary);

    // %.<precision>f of v (positive or zero, finite), "#" when hash, in
    // 64-bit integer arithmetic: the same text as Render in the default
    // rounding mode with "." as radix, for the values below 2^63 (no
    // subnormals) and precisions up to 18 that nearly every record shows.
    // kNotExact for any other, or when room is short of 38 bytes.
    static constexpr int64_t kNotExact = -2;
    static int64_t FixedExact(char* out, size_t room, double v, int32_t precision, bool hash);

    // The decimal exponent of v (finite) rounded to the given number of
    // significant digits, as %e would show it.
    template <typename T>
    static int32_t Exponent(T v, int32_t significant, bool viaCLibrary);
};

}  // namespace vosk
