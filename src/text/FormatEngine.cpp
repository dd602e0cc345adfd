// The printf-style engine of the text buffers.
//
// The format is walked character by character; each conversion spec is
// rebuilt in the target's scratch buffer (as the text
// printf would read, "l" included) and rendered in place at the target's
// cursor. Integers, characters and strings are rendered here directly:
// that is the hot path of every log record, and it keeps arbitrary widths
// and precisions away from C libraries whose printf allocates its work
// area on the stack. Floating-point values and pointers are rendered by
// snprintf, bounded by the room, with no width and a bounded precision;
// padding and the digits beyond a double's exact expansion are added here.
// Nothing is ever written beyond the room a conversion has reserved.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "text/StringBuffer.h"
#include "text/TextBuffer.h"

#include "platform/Platform.h"

namespace vosk {

namespace {

// Room reserved beyond the larger of width and precision.
constexpr int64_t kIntegerMargin = 16;
constexpr int64_t kFloatMargin = 42;
// Room AppendInt makes before rendering.
constexpr int32_t kIntRoom = 16;
// A digit run saturates here: beyond every 32-bit value, so that any
// reservation built on it fails instead of wrapping.
constexpr int64_t kSaturated = int64_t{INT32_MAX} + 1;
// Past these precisions a double has no digits left to show: %f of any
// double ends within 1074 decimal places, %e within 767 significant digits,
// and %g drops the trailing zeros that more precision would add.
constexpr int32_t kFixedExactPrecision = 1100;
constexpr int32_t kExponentExactPrecision = 800;

int64_t AddDigit(int64_t value, char digit) {
    return std::min(value * 10 + (digit - '0'), kSaturated);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal text of v into out (at least 12 bytes); returns its length.
size_t DecimalText(int32_t v, char* out) {
    char reversed[12];
    size_t n = 0;
    uint32_t magnitude = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    do {
        reversed[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t length = 0;
    if (v < 0) {
        out[length++] = '-';
    }
    while (n > 0) {
        out[length++] = reversed[--n];
    }
    return length;
}

// The digits of v in the base, last digit first; returns their number.
template <uint32_t kBase>
size_t ReversedDigits(uint32_t v, const char* alphabet, char* out) {
    size_t n = 0;
    do {
        out[n++] = alphabet[v % kBase];
        v /= kBase;
    } while (v != 0);
    return n;
}

// A width or a precision as the format gives it.
struct Field {
    bool present = false;
    bool star = false;
    int64_t value = 0;  // the argument, or the digits (saturated)
    const char* digits = nullptr;
    size_t digitCount = 0;
};

// One conversion specification as read from the format.
struct Conversion {
    bool minus = false;
    bool plus = false;
    bool zero = false;
    Field width;
    bool dot = false;
    Field precision;
    char letter = 0;
};

// What printf makes of the rebuilt text: flags, a width and a precision.
struct Layout {
    bool left = false;
    bool zero = false;
    bool plus = false;
    int64_t width = 0;
    bool hasPrecision = false;
    int64_t precision = 0;
};

// Reads width text the way printf does: leading "-" and "0" are flags,
// the digits after them the width.
class WidthReader {
  public:
    void Feed(const Field& field) {
        if (!field.present) {
            return;
        }
        if (field.star) {
            char text[12];
            size_t length = DecimalText(static_cast<int32_t>(field.value), text);
            Feed(text, length);
        } else {
            Feed(field.digits, field.digitCount);
        }
    }
    void Feed(const char* text, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            char c = text[i];
            if (inFlags_ && c == '-') {
                left = true;
            } else if (inFlags_ && c == '0') {
                zero = true;
            } else {
                inFlags_ = false;
                value = AddDigit(value, c);
            }
        }
    }
    bool left = false;
    bool zero = false;
    int64_t value = 0;

  private:
    bool inFlags_ = true;
};

// A negative precision taken by "*" counts as none, as with printf's "*".
bool PrecisionDropped(const Field& precision) {
    return precision.star && precision.value < 0;
}

Layout MakeLayout(const Conversion& conv) {
    Layout layout;
    layout.left = conv.minus;
    layout.plus = conv.plus;
    layout.zero = conv.zero;
    WidthReader reader;
    reader.Feed(conv.width);
    if (!conv.dot && !PrecisionDropped(conv.precision)) {
        // Without a "." the precision's text follows the width's directly,
        // and printf reads both as one width.
        reader.Feed(conv.precision);
    }
    layout.left = layout.left || reader.left;
    layout.zero = layout.zero || reader.zero;
    layout.width = reader.value;
    if (conv.dot && !PrecisionDropped(conv.precision)) {
        layout.hasPrecision = true;
        layout.precision = std::max<int64_t>(conv.precision.value, 0);
    }
    return layout;
}

// The room the conversion asks for first: the larger of width and
// precision as written, plus the letter's margin.
int64_t FirstReservation(const Conversion& conv, int64_t margin) {
    return std::max<int64_t>({conv.width.value, conv.precision.value, 0}) + margin;
}

}  // namespace

class FormatEngine {
  public:
    static int32_t Run(TextBuffer& target, const char* format, va_list* args);
    static int32_t AppendDecimal(TextBuffer& target, int32_t v);

  private:
    // Results of one conversion.
    enum class Step { kContinue, kStop };

    static bool ReadSpec(TextBuffer& target, const char** cursor, va_list* args, Conversion* conv);
    static Step Convert(TextBuffer& target, const Conversion& conv, va_list* args, int savedErrno,
                        int64_t* count);
    static Step Integer(TextBuffer& target, const Conversion& conv, int32_t v, int64_t* count);
    static Step Floating(TextBuffer& target, const Conversion& conv, double v, int64_t* count);
    static Step Pointer(TextBuffer& target, const Conversion& conv, const void* p, int64_t* count);
    static Step String(TextBuffer& target, const Conversion& conv, const char* text,
                       int64_t* count);

    // Makes room for total bytes and a NUL; false when it cannot be made.
    static bool Room(TextBuffer& target, int64_t total) {
        if (total < 0 || total + 1 > INT32_MAX) {
            return false;
        }
        int32_t needed = static_cast<int32_t>(total + 1);
        return target.room_ >= needed || target.Reserve(needed) >= needed;
    }
    static bool First(TextBuffer& target, const Conversion& conv, int64_t margin) {
        int64_t n = FirstReservation(conv, margin);
        return n <= INT32_MAX && target.Reserve(static_cast<int32_t>(n)) > 0;
    }
    // Renders at the cursor with render(out, room), an snprintf bounded by
    // the room. When its text, `extra` bytes more and the width's padding
    // do not fit, makes room for the measured length and renders again.
    // The rendered length, or -1 when it cannot be had.
    template <typename Render>
    static int64_t RenderFitted(TextBuffer& target, const Layout& layout, int64_t extra,
                                const Render& render) {
        int rendered = render(target.cursor_, static_cast<size_t>(target.room_));
        if (rendered < 0) {
            return -1;
        }
        int64_t total = std::max<int64_t>(rendered + extra, layout.width);
        if (total >= target.room_) {
            if (!Room(target, total) ||
                render(target.cursor_, static_cast<size_t>(target.room_)) != rendered) {
                return -1;
            }
        }
        return rendered;
    }
    // Pads the length bytes at the cursor to the width (room is there) and
    // takes them in. Zeros, when asked for, go after a leading sign.
    static void Pad(TextBuffer& target, const Layout& layout, int64_t length, bool zeros,
                    int64_t* count) {
        char* out = target.cursor_;
        int64_t pad = std::max<int64_t>(layout.width - length, 0);
        if (pad > 0 && layout.left) {
            std::memset(out + length, ' ', static_cast<size_t>(pad));
        } else if (pad > 0) {
            int64_t keep = zeros && (out[0] == '-' || out[0] == '+') ? 1 : 0;
            std::memmove(out + keep + pad, out + keep, static_cast<size_t>(length - keep));
            std::memset(out + keep, zeros ? '0' : ' ', static_cast<size_t>(pad));
        }
        out[length + pad] = '\0';
        Take(target, count);
    }
    // Takes what was rendered at the cursor (up to its NUL) into the content.
    static void Take(TextBuffer& target, int64_t* count) { *count += target.Advance(); }
    // Ordinary characters (no newline among them), stored as Put stores
    // them one by one, but copied in blocks while there is room: a record's
    // text is mostly such a run.
    static void AppendLiteral(TextBuffer& target, const char* text, size_t length);
};

void FormatEngine::AppendLiteral(TextBuffer& target, const char* text, size_t length) {
    while (length > 0) {
        if (target.room_ <= 0) {
            // Put makes the room (or fails and drops the character) exactly
            // as it would in a loop of Puts.
            target.Put(*text++);
            --length;
            continue;
        }
        size_t n = std::min(length, static_cast<size_t>(target.room_));
        std::memcpy(target.cursor_, text, n);
        target.cursor_ += n;
        target.room_ -= static_cast<int32_t>(n);
        target.lastChar_ = text[n - 1];
        text += n;
        length -= n;
    }
}

int32_t TextBuffer::AppendFormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int32_t count = FormatEngine::Run(*this, format, &copy);
    va_end(copy);
    return count;
}

int32_t StringBuffer::AppendInt(int32_t v) {
    return FormatEngine::AppendDecimal(*this, v);
}

int32_t FormatEngine::AppendDecimal(TextBuffer& target, int32_t v) {
    if (target.room_ < kIntRoom) {
        target.Reserve(kIntRoom);
    }
    if (target.room_ < kIntRoom) {
        return 0;
    }
    size_t length = DecimalText(v, target.cursor_);
    target.cursor_[length] = '\0';
    return target.Advance();
}

int32_t FormatEngine::Run(TextBuffer& target, const char* format, va_list* args) {
    // %m reports the error of the caller, not one that a flush made meanwhile.
    const int savedErrno = errno;
    int64_t count = 0;
    try {
        if (target.scratch_ == nullptr) {
            target.scratch_ = new (std::nothrow) StringBuffer();
        }
        if (format == nullptr) {
            return 0;
        }
        const char* p = format;
        while (*p != '\0') {
            if (*p != '%' && *p != '\n') {
                size_t run = std::strcspn(p, "%\n");
                AppendLiteral(target, p, run);
                p += run;
                count += static_cast<int64_t>(run);
                continue;
            }
            if (*p == '\n') {
                target.Put(*p++);
                ++count;
                continue;
            }
            if (p[1] == '%') {
                target.Put('%');
                ++count;
                p += 2;
                continue;
            }
            Conversion conv;
            ++p;
            if (target.scratch_ == nullptr || !ReadSpec(target, &p, args, &conv)) {
                break;
            }
            if (Convert(target, conv, args, savedErrno, &count) == Step::kStop) {
                break;
            }
        }
    } catch (...) {
        platform::RethrowIfThreadCancellation();
        // Whatever was appended stays; the count says how much.
    }
    return static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));
}

bool FormatEngine::ReadSpec(TextBuffer& target, const char** cursor, va_list* args,
                            Conversion* conv) {
    StringBuffer& scratch = *target.scratch_;
    const char* p = *cursor;
    scratch.Reset();
    scratch.Put('%');
    auto flag = [&](char c, bool* set) {
        if (*p == c) {
            *set = true;
            scratch.Put(*p++);
        }
    };
    flag('-', &conv->minus);
    flag('+', &conv->plus);
    flag('0', &conv->zero);
    auto field = [&](Field* f) {
        if (*p == '*') {
            ++p;
            f->present = true;
            f->star = true;
            int32_t v = va_arg(*args, int);
            f->value = v;
            scratch.AppendInt(v);
        } else if (IsDigit(*p)) {
            f->present = true;
            f->digits = p;
            while (IsDigit(*p)) {
                f->value = AddDigit(f->value, *p);
                scratch.Put(*p++);
            }
            f->digitCount = static_cast<size_t>(p - f->digits);
        }
    };
    field(&conv->width);
    if (*p == '.') {
        conv->dot = true;
        scratch.Put(*p++);
    }
    field(&conv->precision);
    if (*p == 'l') {
        scratch.Put(*p++);
    }
    if (*p == '\0') {
        *cursor = p;
        return false;
    }
    conv->letter = *p++;
    scratch.Put(conv->letter);
    scratch.Terminate();
    *cursor = p;
    return true;
}

FormatEngine::Step FormatEngine::Convert(TextBuffer& target, const Conversion& conv, va_list* args,
                                         int savedErrno, int64_t* count) {
    switch (conv.letter) {
        case 'd':
        case 'u':
        case 'o':
        case 'x':
        case 'X':
        case 'c':
            return Integer(target, conv, va_arg(*args, int), count);
        case 'e':
        case 'f':
        case 'g':
            return Floating(target, conv, va_arg(*args, double), count);
        case 'p':
            return Pointer(target, conv, va_arg(*args, void*), count);
        case 's':
            return String(target, conv, va_arg(*args, const char*), count);
        case 'm':
            *count += target.Write(std::strerror(savedErrno), -1);
            return Step::kContinue;
        default:
            // Not one of ours: the conversion spec produces nothing.
            return Step::kContinue;
    }
}

FormatEngine::Step FormatEngine::Integer(TextBuffer& target, const Conversion& conv, int32_t v,
                                         int64_t* count) {
    if (!First(target, conv, kIntegerMargin)) {
        return Step::kStop;
    }
    Layout layout = MakeLayout(conv);
    char digits[12];  // 11 octal digits for 32 bits, reversed
    size_t digitCount = 0;
    char sign = 0;
    if (conv.letter == 'c') {
        // A character takes no precision and no sign.
        digits[digitCount++] = static_cast<char>(v);
        layout.hasPrecision = false;
        layout.zero = false;
    } else {
        uint32_t magnitude = static_cast<uint32_t>(v);
        uint32_t base = 10;
        const char* alphabet = "0123456789abcdef";
        if (conv.letter == 'd') {
            if (v < 0) {
                sign = '-';
                magnitude = 0u - magnitude;
            } else if (layout.plus) {
                sign = '+';
            }
        } else if (conv.letter == 'o') {
            base = 8;
        } else if (conv.letter == 'x' || conv.letter == 'X') {
            base = 16;
            if (conv.letter == 'X') {
                alphabet = "0123456789ABCDEF";
            }
        }
        // A zero with a precision of 0 has no digits at all.
        if (magnitude != 0 || !layout.hasPrecision || layout.precision != 0) {
            // A constant base turns the divisions into multiplications and
            // shifts; integers are in nearly every record.
            switch (base) {
                case 10:
                    digitCount = ReversedDigits<10>(magnitude, alphabet, digits);
                    break;
                case 16:
                    digitCount = ReversedDigits<16>(magnitude, alphabet, digits);
                    break;
                default:
                    digitCount = ReversedDigits<8>(magnitude, alphabet, digits);
                    break;
            }
        }
    }
    int64_t zeros = layout.hasPrecision
                        ? std::max<int64_t>(layout.precision - static_cast<int64_t>(digitCount), 0)
                        : 0;
    int64_t core = (sign != 0 ? 1 : 0) + zeros + static_cast<int64_t>(digitCount);
    if (!Room(target, std::max(core, layout.width))) {
        return Step::kStop;
    }
    char* out = target.cursor_;
    if (sign != 0) {
        *out++ = sign;
    }
    std::memset(out, '0', static_cast<size_t>(zeros));
    out += zeros;
    while (digitCount > 0) {
        *out++ = digits[--digitCount];
    }
    // A precision turns zero padding off, as in printf.
    Pad(target, layout, core, layout.zero && !layout.hasPrecision, count);
    return Step::kContinue;
}

FormatEngine::Step FormatEngine::Floating(TextBuffer& target, const Conversion& conv, double v,
                                          int64_t* count) {
    if (!First(target, conv, kFloatMargin)) {
        return Step::kStop;
    }
    Layout layout = MakeLayout(conv);
    const bool finite = std::isfinite(v);
    const int32_t exact = conv.letter == 'f' ? kFixedExactPrecision : kExponentExactPrecision;
    int32_t precision = -1;  // printf's default
    int64_t extraZeros = 0;
    if (layout.hasPrecision) {
        precision = static_cast<int32_t>(std::min<int64_t>(layout.precision, exact));
        if (finite && conv.letter != 'g') {
            extraZeros = layout.precision - precision;
        }
    }
    // Sign and precision only; the width is applied afterwards.
    char format[8];
    size_t at = 0;
    format[at++] = '%';
    if (layout.plus) {
        format[at++] = '+';
    }
    format[at++] = '.';
    format[at++] = '*';
    format[at++] = conv.letter;
    format[at] = '\0';
    int64_t rendered = RenderFitted(target, layout, extraZeros, [&](char* out, size_t room) {
        return std::snprintf(out, room, format, precision, v);
    });
    if (rendered < 0) {
        return Step::kStop;
    }
    char* out = target.cursor_;
    if (extraZeros > 0) {
        // More digits than a double holds: zeros, before the exponent if any.
        char* exponent = conv.letter == 'e' ? std::strchr(out, 'e') : nullptr;
        char* end = out + rendered;
        char* insert = exponent != nullptr ? exponent : end;
        std::memmove(insert + extraZeros, insert, static_cast<size_t>(end - insert));
        std::memset(insert, '0', static_cast<size_t>(extraZeros));
    }
    // Zeros go after the sign; infinity and NaN are padded with blanks.
    Pad(target, layout, rendered + extraZeros, layout.zero && finite, count);
    return Step::kContinue;
}

FormatEngine::Step FormatEngine::Pointer(TextBuffer& target, const Conversion& conv, const void* p,
                                         int64_t* count) {
    if (!First(target, conv, kIntegerMargin)) {
        return Step::kStop;
    }
    // The platform's own form of a pointer; zero padding, a sign and a
    // precision mean nothing for pointers and are ignored.
    Layout layout = MakeLayout(conv);
    int64_t rendered = RenderFitted(target, layout, 0, [&](char* out, size_t room) {
        return std::snprintf(out, room, "%p", p);
    });
    if (rendered < 0) {
        return Step::kStop;
    }
    Pad(target, layout, rendered, false, count);
    return Step::kContinue;
}

FormatEngine::Step FormatEngine::String(TextBuffer& target, const Conversion& conv,
                                        const char* text, int64_t* count) {
    if (text == nullptr) {
        return Step::kContinue;
    }
    Layout layout = MakeLayout(conv);
    if (conv.precision.value == 0) {
        // A plain string is copied as it is, unless a width pads it.
        if (layout.width <= 0 || layout.width <= static_cast<int64_t>(std::strlen(text))) {
            *count += target.Write(text, -1);
            return Step::kContinue;
        }
    }
    if (!First(target, conv, kIntegerMargin)) {
        return Step::kStop;
    }
    int64_t length = 0;
    if (layout.hasPrecision) {
        while (length < layout.precision && text[length] != '\0') {
            ++length;
        }
    } else {
        length = static_cast<int64_t>(std::strlen(text));
    }
    if (!Room(target, std::max(length, layout.width))) {
        return Step::kStop;
    }
    std::memcpy(target.cursor_, text, static_cast<size_t>(length));
    Pad(target, layout, length, false, count);
    return Step::kContinue;
}

}  // namespace vosk
