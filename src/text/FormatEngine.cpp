// The printf-style engine of the text buffers: the entry points, the text
// between conversions, and the choice of renderer for each conversion.
//
// The format is read with C99 printf's grammar (FormatSpec) and every
// conversion takes exactly the argument printf takes. Conversions are
// rendered in place at the target's cursor, by the engine itself:
// integers, characters and strings directly, floating-point digits through
// std::to_chars (FloatText), the sign, "#" and padding in the renderers.
// The C library's snprintf renders only a pointer's digits, %a's, and the
// decimal forms where its text would differ from to_chars' (FloatText); it
// is never handed a width, nor a precision beyond what a value can show:
// some C libraries allocate their work area on the stack by those. Nothing
// is ever written beyond the room a conversion has reserved.

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/CatchAll.h"
#include "text/DecimalDigits.h"
#include "text/FormatRender.h"
#include "text/StringBuffer.h"
#include "text/TextBuffer.h"

namespace vosk {

namespace format {

namespace {

// Room AppendInt makes before rendering.
constexpr int32_t kIntRoom = 16;

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

// Copies ordinary characters from *text while there is room, up to a "%",
// the end, or a newline where the target flushes at one (Put must store
// it). Runs between conversions are short: a table test per character,
// four to a step, beats a search and a block copy.
inline void AppendLiteral(TextBuffer& target, const char** text) {
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

// Handles the conversions most records consist of (%d, %i, %u, %s, %f,
// %.<digits>f) without the general reading; false for any other.
inline bool Shortcut(TextBuffer& target, const char** cursor, va_list* args, CallState* call,
                     Step* step) {
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

// The renderer of each letter, with the argument the letter takes.
Step Convert(TextBuffer& target, const Conversion& conv, va_list* args, CallState* call) {
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
                return LongFloating(target, conv, va_arg(*args, platform::HostLongDouble), call);
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

// The conversion at *cursor (its "%"), read and rendered; *cursor moves
// past it.
Step NextConversion(TextBuffer& target, const char** cursor, va_list* args, CallState* call) {
    if ((*cursor)[1] == '%') {
        target.Put('%');
        ++call->count;
        *cursor += 2;
        return Step::kContinue;
    }
    Step step = Step::kContinue;
    if (Shortcut(target, cursor, args, call, &step)) {
        return step;
    }
    Conversion conv;
    ++*cursor;
    if (!ReadConversion(cursor, args, &conv)) {
        return Step::kStop;
    }
    return Convert(target, conv, args, call);
}

void Render(TextBuffer& target, const char* format, va_list* args, CallState* call) {
    const char* p = format;
    while (*p != '\0') {
        if (*p != '%' && (*p != '\n' || !target.LineFlush())) {
            const char* run = p;
            AppendLiteral(target, &p);
            if (p == run) {
                // No room: Put makes it (or fails and drops the character)
                // exactly as it would in a loop of Puts.
                target.Put(*p++);
            }
            call->count += p - run;
        } else if (*p == '\n') {
            target.Put(*p++);
            ++call->count;
        } else if (NextConversion(target, &p, args, call) == Step::kStop) {
            return;
        }
    }
}

int32_t Run(TextBuffer& target, const char* format, va_list* args) {
    CallState call;
    // %m reports the error of the caller, not one that a flush made meanwhile.
    call.savedErrno = errno;
    // Whatever was appended before an exception stays; the count says how
    // much.
    platform::CatchAll([&] {
        if (format != nullptr) {
            Render(target, format, args, &call);
        }
    });
    return static_cast<int32_t>(std::min<int64_t>(call.count, INT32_MAX));
}

}  // namespace

}  // namespace format

int32_t TextBuffer::AppendFormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int32_t count = format::Run(*this, format, &copy);
    va_end(copy);
    return count;
}

int32_t StringBuffer::AppendInt(int32_t v) {
    char* out = Prepare(format::kIntRoom);
    if (out == nullptr) {
        return 0;
    }
    const int32_t length = static_cast<int32_t>(DecimalDigits::Signed(v, out));
    Commit(length);
    return length;
}

}  // namespace vosk
