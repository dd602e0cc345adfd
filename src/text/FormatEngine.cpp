// The printf-style engine of the text buffers.
//
// The format is read with C99 printf's grammar (flags in any order, width
// and precision as digits or "*", the length modifiers hh h l ll j z t L)
// and every conversion takes exactly the argument printf takes.
// Conversions are rendered in place at the
// target's cursor, by the engine itself: integers, characters and strings
// directly, floating-point digits through std::to_chars (FloatText), the
// sign, "#" and padding here. The C library's snprintf renders only a
// pointer's digits, %a's, and the decimal forms where its text would differ
// from to_chars' (FloatText); it is never handed a width, nor a precision
// beyond what a value can show: some C libraries allocate their work area
// on the stack by those. Nothing is ever written beyond the room a
// conversion has reserved.

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <type_traits>

#include "text/DecimalDigits.h"
#include "text/FloatText.h"
#include "text/StringBuffer.h"
#include "text/TextBuffer.h"

#include "platform/CatchAll.h"
#include "platform/NativeTypes.h"

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
// Printed for a wide character the locale cannot encode, where printf
// would fail the whole call.
constexpr char kUnencodable = '?';

int64_t AddDigit(int64_t value, char digit) {
    return std::min(value * 10 + (digit - '0'), kSaturated);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal text of v into out (at least 12 bytes); returns its length.
size_t DecimalText(int32_t v, char* out) {
    const uint32_t magnitude = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    size_t length = 0;
    if (v < 0) {
        out[length++] = '-';
    }
    return length + DecimalDigits::Forward(magnitude, out + length);
}

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

// Which characters end a run of ordinary characters: "%", the end, and a
// newline where the target flushes at one (Put must store it).
struct LiteralStops {
    bool stop[2][256];
};
constexpr LiteralStops MakeLiteralStops() {
    LiteralStops t{};
    for (int flush = 0; flush < 2; ++flush) {
        t.stop[flush][static_cast<unsigned char>('%')] = true;
        t.stop[flush][0] = true;
    }
    t.stop[1][static_cast<unsigned char>('\n')] = true;
    return t;
}
constexpr LiteralStops kLiteralStops = MakeLiteralStops();

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

inline Layout MakeLayout(const Conversion& conv) {
    Layout layout;
    layout.left = conv.minus;
    layout.plus = conv.plus;
    layout.space = conv.space;
    layout.hash = conv.hash;
    layout.zero = conv.zero;
    if (!conv.width.star && !conv.precision.present) {
        // The usual case: digits or nothing, no "*".
        layout.width = conv.width.value;
    } else {
        WidthReader reader;
        reader.Feed(conv.width);
        if (!conv.dot && !PrecisionDropped(conv.precision)) {
            // Outside C99: a "*" next to the width's digits or another "*"
            // without a "." between them. The texts are joined into one
            // width, as the engine has always read them.
            reader.Feed(conv.precision);
        }
        layout.left = layout.left || reader.left;
        layout.zero = layout.zero || reader.zero;
        layout.width = reader.value;
    }
    if (conv.dot && !PrecisionDropped(conv.precision)) {
        layout.hasPrecision = true;
        layout.precision = std::max<int64_t>(conv.precision.value, 0);
    }
    return layout;
}

// The room the conversion asks for first: the larger of width and
// precision as written, plus the letter's margin.
int64_t FirstReservation(const Conversion& conv, int64_t margin) {
    return std::max(std::max(conv.width.value, conv.precision.value), int64_t{0}) + margin;
}

// The arguments of the integer conversions, by length modifier.
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

Integer TakeSigned(va_list* args, Length length) {
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

uint64_t TakeUnsigned(va_list* args, Length length) {
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

// The multibyte text of wide characters, as printf's %lc and %ls make it:
// each character converted by wcrtomb, the whole no longer than limit
// bytes (a negative limit: no limit) and never ending in part of a
// character. Counts the bytes when out is null.
int64_t WideText(const wchar_t* text, int64_t count, int64_t limit, char* out) {
    std::mbstate_t state{};
    int64_t length = 0;
    for (int64_t i = 0; count < 0 || i < count; ++i) {
        // Nothing is read past what the limit lets through.
        if ((limit >= 0 && length >= limit) || (count < 0 && text[i] == L'\0')) {
            break;
        }
        char bytes[MB_LEN_MAX];
        size_t n = std::wcrtomb(bytes, text[i], &state);
        if (n == static_cast<size_t>(-1)) {
            bytes[0] = kUnencodable;
            n = 1;
            state = std::mbstate_t{};
        }
        if (limit >= 0 && length + static_cast<int64_t>(n) > limit) {
            break;
        }
        if (out != nullptr) {
            std::memcpy(out + length, bytes, n);
        }
        length += static_cast<int64_t>(n);
    }
    return length;
}

}  // namespace

class FormatEngine {
  public:
    static int32_t Run(TextBuffer& target, const char* format, va_list* args);
    static int32_t AppendDecimal(TextBuffer& target, int32_t v);

  private:
    // Results of one conversion.
    enum class Step { kContinue, kStop };

    // What one call keeps across its conversions.
    struct CallState {
        int savedErrno = 0;
        int64_t count = 0;
        // -1 until the first floating-point conversion asks.
        int viaCLibrary = -1;
    };

    static bool ReadSpec(const char** cursor, va_list* args, Conversion* conv);
    static Step Convert(TextBuffer& target, const Conversion& conv, va_list* args, CallState* call);
    static Step Integral(TextBuffer& target, const Conversion& conv, Integer v, int64_t* count);
    static Step Character(TextBuffer& target, const Conversion& conv, va_list* args,
                          int64_t* count);
    template <typename T>
    static Step Floating(TextBuffer& target, const Conversion& conv, T v, CallState* call);
    static Step Pointer(TextBuffer& target, const Conversion& conv, const void* p, int64_t* count);
    static Step String(TextBuffer& target, const Conversion& conv, const char* text,
                       int64_t* count);
    static Step WideString(TextBuffer& target, const Conversion& conv, const wchar_t* text,
                           int64_t* count);

    // Makes room for total bytes and a NUL; false when it cannot be made.
    static bool Room(TextBuffer& target, int64_t total) {
        if (total < 0 || total + 1 > INT32_MAX) {
            return false;
        }
        return target.Prepare(static_cast<int32_t>(total + 1)) != nullptr;
    }
    static bool First(TextBuffer& target, const Conversion& conv, int64_t margin) {
        int64_t n = FirstReservation(conv, margin);
        return n <= INT32_MAX && target.Prepare(static_cast<int32_t>(n)) != nullptr;
    }
    // Takes the length bytes rendered at the cursor into the content.
    static void Commit(TextBuffer& target, int64_t length, int64_t* count) {
        if (length <= 0) {
            return;
        }
        target.Commit(static_cast<int32_t>(length));
        *count += length;
    }
    // Pads the length bytes at the cursor to the width (room is there) and
    // takes them in. Zeros, when asked for, go after the first `keep`
    // bytes (a sign, a "0x").
    static void Pad(TextBuffer& target, const Layout& layout, int64_t length, bool zeros,
                    int64_t keep, int64_t* count) {
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
    // Copies ordinary characters from *text while there is room, up to a
    // "%", the end, or a newline where the target flushes at one (Put must
    // store it). Runs between conversions are short: a table test per
    // character, four to a step, beats a search and a block copy.
    static void AppendLiteral(TextBuffer& target, const char** text) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(*text);
        const bool* stop = kLiteralStops.stop[target.LineFlush() ? 1 : 0];
        char* const out = target.Cursor();
        const size_t room = target.Room() > 0 ? static_cast<size_t>(target.Room()) : 0;
        size_t i = 0;
        for (; i + 4 <= room; i += 4) {
            if (stop[p[i]]) {
                goto done;
            }
            out[i] = static_cast<char>(p[i]);
            if (stop[p[i + 1]]) {
                i += 1;
                goto done;
            }
            out[i + 1] = static_cast<char>(p[i + 1]);
            if (stop[p[i + 2]]) {
                i += 2;
                goto done;
            }
            out[i + 2] = static_cast<char>(p[i + 2]);
            if (stop[p[i + 3]]) {
                i += 3;
                goto done;
            }
            out[i + 3] = static_cast<char>(p[i + 3]);
        }
        for (; i < room && !stop[p[i]]; ++i) {
            out[i] = static_cast<char>(p[i]);
        }
    done:
        target.Commit(static_cast<int32_t>(i));
        *text += i;
    }
    static bool PlainSigned(TextBuffer& target, int32_t v, int64_t* count);
    static bool PlainUnsigned(TextBuffer& target, uint32_t v, int64_t* count);
    static Step PlainFixed(TextBuffer& target, const char* digits, size_t digitCount, va_list* args,
                           CallState* call);
    // Handles the conversions most records consist of (%d, %i, %u, %s, %f,
    // %.<digits>f) without the general reading; false for any other.
    static bool Shortcut(TextBuffer& target, const char** cursor, va_list* args, CallState* call,
                         Step* step);
};

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
    char* out = target.Prepare(kIntRoom);
    if (out == nullptr) {
        return 0;
    }
    const int32_t length = static_cast<int32_t>(DecimalText(v, out));
    target.Commit(length);
    return length;
}

int32_t FormatEngine::Run(TextBuffer& target, const char* format, va_list* args) {
    CallState call;
    // %m reports the error of the caller, not one that a flush made meanwhile.
    call.savedErrno = errno;
    // Whatever was appended before an exception stays; the count says how
    // much.
    platform::CatchAll([&] {
        if (format == nullptr) {
            return;
        }
        const char* p = format;
        while (*p != '\0') {
            if (*p != '%' && (*p != '\n' || !target.LineFlush())) {
                const char* run = p;
                AppendLiteral(target, &p);
                if (p == run) {
                    // No room: Put makes it (or fails and drops the
                    // character) exactly as it would in a loop of Puts.
                    target.Put(*p++);
                }
                call.count += p - run;
                continue;
            }
            if (*p == '\n') {
                target.Put(*p++);
                ++call.count;
                continue;
            }
            if (p[1] == '%') {
                target.Put('%');
                ++call.count;
                p += 2;
                continue;
            }
            Step step = Step::kContinue;
            if (Shortcut(target, &p, args, &call, &step)) {
                if (step == Step::kStop) {
                    break;
                }
                continue;
            }
            Conversion conv;
            ++p;
            if (!ReadSpec(&p, args, &conv)) {
                break;
            }
            if (Convert(target, conv, args, &call) == Step::kStop) {
                break;
            }
        }
    });
    return static_cast<int32_t>(std::min<int64_t>(call.count, INT32_MAX));
}

inline bool FormatEngine::Shortcut(TextBuffer& target, const char** cursor, va_list* args,
                                   CallState* call, Step* step) {
    const char* const percent = *cursor;  // at the "%"
    const char c = percent[1];
    if (c == 'd' || c == 'i') {
        *cursor = percent + 2;
        *step =
            PlainSigned(target, va_arg(*args, int), &call->count) ? Step::kContinue : Step::kStop;
        return true;
    }
    if (c == 'u') {
        *cursor = percent + 2;
        *step = PlainUnsigned(target, va_arg(*args, unsigned), &call->count) ? Step::kContinue
                                                                             : Step::kStop;
        return true;
    }
    if (c == 's') {
        *cursor = percent + 2;
        Conversion conv;
        conv.letter = 's';
        *step = String(target, conv, va_arg(*args, const char*), &call->count);
        return true;
    }
    if (c == 'f') {
        *cursor = percent + 2;
        *step = PlainFixed(target, nullptr, 0, args, call);
        return true;
    }
    if (c == '.' && IsDigit(percent[2])) {
        size_t digitCount = IsDigit(percent[3]) ? 2 : 1;
        if (percent[2 + digitCount] == 'f') {
            *cursor = percent + 3 + digitCount;
            *step = PlainFixed(target, percent + 2, digitCount, args, call);
            return true;
        }
    }
    return false;
}

inline bool FormatEngine::PlainSigned(TextBuffer& target, int32_t v, int64_t* count) {
    char* out = target.Prepare(kIntegerMargin);
    if (out == nullptr) {
        return false;
    }
    Commit(target, static_cast<int64_t>(DecimalText(v, out)), count);
    return true;
}

inline bool FormatEngine::PlainUnsigned(TextBuffer& target, uint32_t v, int64_t* count) {
    char* out = target.Prepare(kIntegerMargin);
    if (out == nullptr) {
        return false;
    }
    Commit(target, DecimalDigits::Forward(v, out), count);
    return true;
}

FormatEngine::Step FormatEngine::PlainFixed(TextBuffer& target, const char* digits,
                                            size_t digitCount, va_list* args, CallState* call) {
    const double v = va_arg(*args, double);
    int32_t precision = digits != nullptr ? 0 : 6;
    for (size_t i = 0; i < digitCount; ++i) {
        precision = precision * 10 + (digits[i] - '0');
    }
    if (call->viaCLibrary < 0) {
        call->viaCLibrary = FloatText::CLibraryNeeded() ? 1 : 0;
    }
    if (call->viaCLibrary == 0 && std::isfinite(v)) {
        const int32_t reserve = precision + static_cast<int32_t>(kFloatMargin);
        char* out = target.Prepare(reserve);
        if (out == nullptr) {
            return Step::kStop;
        }
        const bool negative = std::signbit(v);
        if (negative) {
            *out++ = '-';
        }
        const int64_t length =
            FloatText::FixedExact(out, static_cast<size_t>(target.Cursor() + target.Room() - out),
                                  std::fabs(v), precision, false);
        if (length >= 0) {
            Commit(target, length + (negative ? 1 : 0), &call->count);
            return Step::kContinue;
        }
    }
    Conversion conv;
    conv.letter = 'f';
    if (digits != nullptr) {
        conv.dot = true;
        conv.precision.present = true;
        conv.precision.digits = digits;
        conv.precision.digitCount = digitCount;
        conv.precision.value = precision;
    }
    return Floating(target, conv, v, call);
}

bool FormatEngine::ReadSpec(const char** cursor, va_list* args, Conversion* conv) {
    // *cursor is just after the "%".
    const char* p = *cursor;
    for (;; ++p) {
        const char c = *p;
        if (c == '-') {
            conv->minus = true;
        } else if (c == '+') {
            conv->plus = true;
        } else if (c == ' ') {
            conv->space = true;
        } else if (c == '#') {
            conv->hash = true;
        } else if (c == '0') {
            conv->zero = true;
        } else {
            break;
        }
    }
    auto field = [&](Field* f) {
        if (*p == '*') {
            ++p;
            f->present = true;
            f->star = true;
            f->value = va_arg(*args, int);
        } else if (IsDigit(*p)) {
            f->present = true;
            f->digits = p;
            while (IsDigit(*p)) {
                f->value = AddDigit(f->value, *p++);
            }
            f->digitCount = static_cast<size_t>(p - f->digits);
        }
    };
    field(&conv->width);
    if (*p == '.') {
        conv->dot = true;
        ++p;
    }
    // Read without a "." too: see MakeLayout.
    field(&conv->precision);
    switch (*p) {
        case 'h':
            conv->length = p[1] == 'h' ? Length::kChar : Length::kShort;
            p += p[1] == 'h' ? 2 : 1;
            break;
        case 'l':
            conv->length = p[1] == 'l' ? Length::kLongLong : Length::kLong;
            p += p[1] == 'l' ? 2 : 1;
            break;
        case 'j':
            conv->length = Length::kMax;
            ++p;
            break;
        case 'z':
            conv->length = Length::kSize;
            ++p;
            break;
        case 't':
            conv->length = Length::kPtrdiff;
            ++p;
            break;
        case 'L':
            conv->length = Length::kLongDouble;
            ++p;
            break;
        default:
            break;
    }
    if (*p == '\0') {
        *cursor = p;
        return false;
    }
    conv->letter = *p++;
    *cursor = p;
    return true;
}

FormatEngine::Step FormatEngine::Convert(TextBuffer& target, const Conversion& conv, va_list* args,
                                         CallState* call) {
    int64_t* count = &call->count;
    switch (conv.letter) {
        case 'd':
        case 'i':
            return Integral(target, conv, TakeSigned(args, conv.length), count);
        case 'u':
        case 'o':
        case 'x':
        case 'X': {
            Integer v;
            v.magnitude = TakeUnsigned(args, conv.length);
            return Integral(target, conv, v, count);
        }
        case 'c':
            return Character(target, conv, args, count);
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (conv.length == Length::kLongDouble) {
                return Floating(target, conv, va_arg(*args, platform::HostLongDouble), call);
            }
            return Floating(target, conv, va_arg(*args, double), call);
        case 'p':
            return Pointer(target, conv, va_arg(*args, void*), count);
        case 's':
            if (conv.length == Length::kLong) {
                return WideString(target, conv, va_arg(*args, const wchar_t*), count);
            }
            return String(target, conv, va_arg(*args, const char*), count);
        case 'n':
            // The pointer is taken so that the arguments after it line up;
            // nothing is ever stored through it.
            va_arg(*args, void*);
            return Step::kContinue;
        case '%':
            // A complete "%%" never gets here; with flags or a width in
            // between, printf still writes the one percent sign.
            target.Put('%');
            ++*count;
            return Step::kContinue;
        case 'm':
            *count += target.Write(std::strerror(call->savedErrno), -1);
            return Step::kContinue;
        default:
            // Not a conversion: an unknown letter produces nothing and takes
            // no argument.
            return Step::kContinue;
    }
}

FormatEngine::Step FormatEngine::Integral(TextBuffer& target, const Conversion& conv, Integer v,
                                          int64_t* count) {
    if (!First(target, conv, kIntegerMargin)) {
        return Step::kStop;
    }
    Layout layout = MakeLayout(conv);
    char digits[24];  // 22 octal digits for 64 bits, at the end
    char* const digitsEnd = digits + sizeof digits;
    const char* first = digitsEnd;
    char prefix[2];
    size_t prefixLength = 0;
    const char letter = conv.letter;
    if (letter == 'd' || letter == 'i') {
        if (v.negative) {
            prefix[prefixLength++] = '-';
        } else if (layout.plus) {
            prefix[prefixLength++] = '+';
        } else if (layout.space) {
            prefix[prefixLength++] = ' ';
        }
    }
    // A zero with a precision of 0 has no digits at all.
    if (v.magnitude != 0 || !layout.hasPrecision || layout.precision != 0) {
        // A constant base turns the divisions into multiplications and
        // shifts; integers are in nearly every record.
        if (letter == 'x') {
            first = DigitsBackward<4>(v.magnitude, "0123456789abcdef", digitsEnd);
        } else if (letter == 'X') {
            first = DigitsBackward<4>(v.magnitude, "0123456789ABCDEF", digitsEnd);
        } else if (letter == 'o') {
            first = DigitsBackward<3>(v.magnitude, "01234567", digitsEnd);
        } else {
            first = DecimalDigits::Backward(v.magnitude, digitsEnd);
        }
    }
    const size_t digitCount = static_cast<size_t>(digitsEnd - first);
    int64_t zeros = layout.hasPrecision
                        ? std::max<int64_t>(layout.precision - static_cast<int64_t>(digitCount), 0)
                        : 0;
    if (layout.hash) {
        if (letter == 'o' && zeros == 0 && (digitCount == 0 || first[0] != '0')) {
            // "#" makes the first digit of an octal number a zero.
            zeros = 1;
        } else if ((letter == 'x' || letter == 'X') && v.magnitude != 0) {
            prefix[prefixLength++] = '0';
            prefix[prefixLength++] = letter;
        }
    }
    const int64_t core =
        static_cast<int64_t>(prefixLength) + zeros + static_cast<int64_t>(digitCount);
    const int64_t total = std::max(core, layout.width);
    if (!Room(target, total)) {
        return Step::kStop;
    }
    // A precision turns zero padding off, as in printf.
    const bool zeroPad = layout.zero && !layout.left && !layout.hasPrecision;
    const int64_t pad = total - core;
    char* out = target.Cursor();
    // Most integers have no padding at all: no calls for empty runs.
    if (pad > 0 && !layout.left && !zeroPad) {
        std::memset(out, ' ', static_cast<size_t>(pad));
        out += pad;
    }
    for (size_t i = 0; i < prefixLength; ++i) {
        *out++ = prefix[i];
    }
    if (zeroPad) {
        zeros += pad;
    }
    if (zeros > 0) {
        std::memset(out, '0', static_cast<size_t>(zeros));
        out += zeros;
    }
    std::memcpy(out, first, digitCount);
    out += digitCount;
    if (pad > 0 && layout.left) {
        std::memset(out, ' ', static_cast<size_t>(pad));
    }
    Commit(target, total, count);
    return Step::kContinue;
}

FormatEngine::Step FormatEngine::Character(TextBuffer& target, const Conversion& conv,
                                           va_list* args, int64_t* count) {
    char bytes[MB_LEN_MAX];
    int64_t length = 1;
    if (conv.length == Length::kLong) {
        // wint_t; on Windows narrower than int, so it arrives promoted.
        wchar_t wide = static_cast<wchar_t>(Take<wint_t>(args));
        length = WideText(&wide, 1, -1, bytes);
    } else {
        bytes[0] = static_cast<char>(Take<int>(args));
    }
    if (!First(target, conv, kIntegerMargin)) {
        return Step::kStop;
    }
    // A character takes no precision, sign or zero padding. Its byte is
    // written whatever it is, a NUL included, as printf writes it.
    Layout layout = MakeLayout(conv);
    if (!Room(target, std::max(length, layout.width))) {
        return Step::kStop;
    }
    std::memcpy(target.Cursor(), bytes, static_cast<size_t>(length));
    Pad(target, layout, length, false, 0, count);
    return Step::kContinue;
}

template <typename T>
FormatEngine::Step FormatEngine::Floating(TextBuffer& target, const Conversion& conv, T v,
                                          CallState* call) {
    if (!First(target, conv, kFloatMargin)) {
        return Step::kStop;
    }
    Layout layout = MakeLayout(conv);
    const char letter = conv.letter;
    const bool upper = letter >= 'A' && letter <= 'Z';
    const char lower = upper ? static_cast<char>(letter - 'A' + 'a') : letter;
    const bool negative = std::signbit(v);
    const char sign = negative ? '-' : layout.plus ? '+' : layout.space ? ' ' : 0;
    const int64_t signLength = sign != 0 ? 1 : 0;

    if (!std::isfinite(v)) {
        // C99's spelling, the same on every platform; never zero padded.
        const char* word = std::isnan(v) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
        if (!Room(target, std::max<int64_t>(3 + signLength, layout.width))) {
            return Step::kStop;
        }
        char* out = target.Cursor();
        if (sign != 0) {
            *out++ = sign;
        }
        std::memcpy(out, word, 3);
        Pad(target, layout, 3 + signLength, false, 0, &call->count);
        return Step::kContinue;
    }

    using Style = FloatText::Style;
    Style style = lower == 'f'   ? Style::kFixed
                  : lower == 'e' ? Style::kScientific
                  : lower == 'g' ? Style::kGeneral
                                 : Style::kHex;
    if (call->viaCLibrary < 0) {
        call->viaCLibrary = FloatText::CLibraryNeeded() ? 1 : 0;
    }
    const bool viaCLibrary = call->viaCLibrary != 0;
    // Precisions beyond 32 bits were refused by the first reservation.
    int64_t precision = layout.hasPrecision ? layout.precision : (style == Style::kHex ? -1 : 6);
    if (style == Style::kGeneral && layout.hash) {
        // %#g keeps its trailing zeros: it is %e or %f with the precision
        // that %g would choose.
        const int64_t significant = precision == 0 ? 1 : precision;
        const int32_t exponent = FloatText::Exponent(
            v, static_cast<int32_t>(std::min<int64_t>(significant, INT32_MAX)), viaCLibrary);
        if (significant > exponent && exponent >= -4) {
            style = Style::kFixed;
            precision = significant - 1 - exponent;
        } else {
            style = Style::kScientific;
            precision = significant - 1;
        }
    }
    const int32_t rendered =
        static_cast<int32_t>(std::min<int64_t>(precision, FloatText::PrecisionCap<T>(style)));
    // Zeros beyond the digits the value has; %g has dropped them.
    const int64_t extraZeros =
        style == Style::kGeneral ? 0 : std::max<int64_t>(precision - rendered, 0);
    const bool hash = layout.hash && style != Style::kGeneral;

    // The digits go after the room for the sign; most often they fit in
    // the room there is, else the room is made and they are rendered again.
    int64_t length = -1;
    int64_t total = 0;
    for (int attempt = 0; attempt < 2 && length < 0; ++attempt) {
        if (attempt == 1 &&
            !Room(target, std::max(signLength + FloatText::Bound<T>(rendered) + extraZeros,
                                   layout.width))) {
            return Step::kStop;
        }
        if (target.Room() <= signLength + 1) {
            continue;
        }
        length = FloatText::Render(target.Cursor() + signLength,
                                   static_cast<size_t>(target.Room() - signLength), v, style,
                                   rendered, hash, upper, viaCLibrary);
        total = std::max(signLength + std::max<int64_t>(length, 0) + extraZeros, layout.width);
        if (length >= 0 && total >= target.Room()) {
            length = -1;  // the zeros or the padding do not fit
        }
    }
    if (length < 0) {
        return Step::kStop;
    }
    char* out = target.Cursor();
    if (sign != 0) {
        out[0] = sign;
    }
    char* body = out + signLength;
    if (extraZeros > 0) {
        // More digits than the type holds: zeros, before the exponent if any.
        const char marker = style == Style::kHex ? (upper ? 'P' : 'p') : (upper ? 'E' : 'e');
        char* insert = body + length;
        if (style != Style::kFixed) {
            void* found = std::memchr(body, marker, static_cast<size_t>(length));
            insert = found != nullptr ? static_cast<char*>(found) : insert;
        }
        std::memmove(insert + extraZeros, insert, static_cast<size_t>(body + length - insert));
        std::memset(insert, '0', static_cast<size_t>(extraZeros));
    }
    // Zeros of the width go after the sign, and after the "0x" of %a.
    const int64_t keep = signLength + (style == Style::kHex ? 2 : 0);
    Pad(target, layout, signLength + length + extraZeros, layout.zero, keep, &call->count);
    return Step::kContinue;
}

FormatEngine::Step FormatEngine::Pointer(TextBuffer& target, const Conversion& conv, const void* p,
                                         int64_t* count) {
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

FormatEngine::Step FormatEngine::String(TextBuffer& target, const Conversion& conv,
                                        const char* text, int64_t* count) {
    if (text == nullptr) {
        return Step::kContinue;
    }
    Layout layout = MakeLayout(conv);
    int64_t length = 0;
    if (layout.hasPrecision) {
        // The text need not be terminated within the precision.
        const void* nul = std::memchr(text, '\0', static_cast<size_t>(layout.precision));
        length = nul != nullptr ? static_cast<const char*>(nul) - text : layout.precision;
    } else {
        length = static_cast<int64_t>(std::strlen(text));
    }
    if (layout.width <= length && length <= INT32_MAX) {
        // Nothing to pad: copied as it is, in blocks, as a stream takes it.
        *count += target.Write(text, static_cast<int32_t>(length));
        return Step::kContinue;
    }
    if (!First(target, conv, kIntegerMargin) || !Room(target, std::max(length, layout.width))) {
        return Step::kStop;
    }
    std::memcpy(target.Cursor(), text, static_cast<size_t>(length));
    Pad(target, layout, length, false, 0, count);
    return Step::kContinue;
}

FormatEngine::Step FormatEngine::WideString(TextBuffer& target, const Conversion& conv,
                                            const wchar_t* text, int64_t* count) {
    if (text == nullptr) {
        return Step::kContinue;
    }
    Layout layout = MakeLayout(conv);
    const int64_t limit = layout.hasPrecision ? layout.precision : -1;
    const int64_t length = WideText(text, -1, limit, nullptr);
    if (!First(target, conv, kIntegerMargin) || !Room(target, std::max(length, layout.width))) {
        return Step::kStop;
    }
    WideText(text, -1, limit, target.Cursor());
    Pad(target, layout, length, false, 0, count);
    return Step::kContinue;
}

}  // namespace vosk
