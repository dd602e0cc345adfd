// The integer conversions (d i u o x X) and %p.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "text/DecimalDigits.h"
#include "text/FormatRender.h"

namespace vosk {
namespace format {

namespace {

// The digits of v in a power-of-two base, written so that the last one
// lands just before end; returns where the first one is.
template <uint32_t kBits>
char* DigitsBackward(uint64_t v, const char* alphabet, char* end) {
    constexpr uint64_t kMask = (uint64_t{1} << kBits) - 1;
    do {
        *--end = alphabet[v & kMask];
        v >>= kBits;
    } while (v != 0);
    return end;
}

// The digits of v in the letter's base, ending just before end; returns
// where the first one is. A constant base turns the divisions into
// multiplications and shifts; integers are in nearly every record.
char* DigitsOf(char letter, uint64_t v, char* end) {
    if (letter == 'x') {
        return DigitsBackward<4>(v, "0123456789abcdef", end);
    }
    if (letter == 'X') {
        return DigitsBackward<4>(v, "0123456789ABCDEF", end);
    }
    if (letter == 'o') {
        return DigitsBackward<3>(v, "01234567", end);
    }
    return DecimalDigits::Backward(v, end);
}

// An integer's text, left to right after any padding: the prefix (a sign,
// or the "0x" of "#"), zeros, the digits.
struct IntegerText {
    char prefix[2];
    size_t prefixLength = 0;
    int64_t zeros = 0;
    const char* digits = nullptr;
    size_t digitCount = 0;
};

// The parts of v's text under the conversion; the digits are rendered
// just before digitsEnd (room for 22 octal digits of 64 bits).
IntegerText Compose(const Conversion& conv, const Layout& layout, Integer v, char* digitsEnd) {
    IntegerText text;
    const char letter = conv.letter;
    if (letter == 'd' || letter == 'i') {
        const char sign = v.negative ? '-' : layout.plus ? '+' : layout.space ? ' ' : 0;
        if (sign != 0) {
            text.prefix[text.prefixLength++] = sign;
        }
    }
    text.digits = digitsEnd;
    // A zero with a precision of 0 has no digits at all.
    if (v.magnitude != 0 || !layout.hasPrecision || layout.precision != 0) {
        text.digits = DigitsOf(letter, v.magnitude, digitsEnd);
    }
    text.digitCount = static_cast<size_t>(digitsEnd - text.digits);
    const int64_t digitCount = static_cast<int64_t>(text.digitCount);
    text.zeros = layout.hasPrecision ? std::max<int64_t>(layout.precision - digitCount, 0) : 0;
    if (layout.hash) {
        if (letter == 'o' && text.zeros == 0 && (digitCount == 0 || text.digits[0] != '0')) {
            // "#" makes the first digit of an octal number a zero.
            text.zeros = 1;
        } else if ((letter == 'x' || letter == 'X') && v.magnitude != 0) {
            text.prefix[text.prefixLength++] = '0';
            text.prefix[text.prefixLength++] = letter;
        }
    }
    return text;
}

// Writes the text padded to total bytes at out.
void PutPadded(char* out, const IntegerText& text, const Layout& layout, int64_t total) {
    // A precision turns zero padding off, as in printf.
    const bool zeroPad = layout.zero && !layout.left && !layout.hasPrecision;
    const int64_t pad = total - static_cast<int64_t>(text.prefixLength) - text.zeros -
                        static_cast<int64_t>(text.digitCount);
    // Most integers have no padding at all: no calls for empty runs.
    if (pad > 0 && !layout.left && !zeroPad) {
        std::memset(out, ' ', static_cast<size_t>(pad));
        out += pad;
    }
    for (size_t i = 0; i < text.prefixLength; ++i) {
        *out++ = text.prefix[i];
    }
    const int64_t zeros = text.zeros + (zeroPad ? pad : 0);
    if (zeros > 0) {
        std::memset(out, '0', static_cast<size_t>(zeros));
        out += zeros;
    }
    std::memcpy(out, text.digits, text.digitCount);
    out += text.digitCount;
    if (pad > 0 && layout.left) {
        std::memset(out, ' ', static_cast<size_t>(pad));
    }
}

}  // namespace

Step Integral(TextBuffer& target, const Conversion& conv, Integer v, int64_t* count) {
    if (!First(target, conv, kIntegerMargin)) {
        return Step::kStop;
    }
    const Layout layout = MakeLayout(conv);
    char digits[24];
    const IntegerText text = Compose(conv, layout, v, digits + sizeof digits);
    const int64_t core = static_cast<int64_t>(text.prefixLength) + text.zeros +
                         static_cast<int64_t>(text.digitCount);
    const int64_t total = std::max(core, layout.width);
    if (!Room(target, total)) {
        return Step::kStop;
    }
    PutPadded(target.Cursor(), text, layout, total);
    Commit(target, total, count);
    return Step::kContinue;
}

Step Pointer(TextBuffer& target, const Conversion& conv, const void* p, int64_t* count) {
    if (!First(target, conv, kIntegerMargin)) {
        return Step::kStop;
    }
    // The platform's own form of a pointer, which is short; zero padding,
    // a sign and a precision mean nothing for pointers and are ignored.
    Layout layout = MakeLayout(conv);
    char text[48];
    int length = std::snprintf(text, sizeof text, "%p", p);
    if (length < 0 || static_cast<size_t>(length) >= sizeof text ||
        !Room(target, std::max<int64_t>(length, layout.width))) {
        return Step::kStop;
    }
    std::memcpy(target.Cursor(), text, static_cast<size_t>(length));
    Pad(target, layout, length, false, 0, count);
    return Step::kContinue;
}

bool PlainSigned(TextBuffer& target, int32_t v, int64_t* count) {
    char* out = target.Prepare(kIntegerMargin);
    if (out == nullptr) {
        return false;
    }
    Commit(target, DecimalDigits::Signed(v, out), count);
    return true;
}

bool PlainUnsigned(TextBuffer& target, uint32_t v, int64_t* count) {
    char* out = target.Prepare(kIntegerMargin);
    if (out == nullptr) {
        return false;
    }
    Commit(target, DecimalDigits::Forward(v, out), count);
    return true;
}

}  // namespace format
}  // namespace vosk
