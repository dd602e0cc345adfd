// The floating-point conversions (e E f F g G a A). The digits come from
// FloatText; the sign, "#", the zeros beyond a type's digits and the
// padding are added here.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "text/FloatText.h"
#include "text/FormatRender.h"

namespace vosk {
namespace format {

namespace {

using Style = FloatText::Style;

// How a finite value is rendered: the style (%#g turned into %e or %f),
// the precision asked for, the part of it FloatText renders, and the
// zeros asked for beyond the digits the type holds.
struct FloatPlan {
    Style style = Style::kFixed;
    int64_t precision = 0;
    int32_t rendered = 0;
    int64_t extraZeros = 0;
    bool hash = false;
};

Style StyleOf(char lower) {
    return lower == 'f'   ? Style::kFixed
           : lower == 'e' ? Style::kScientific
           : lower == 'g' ? Style::kGeneral
                          : Style::kHex;
}

template <typename T>
FloatPlan Plan(const Layout& layout, char lower, T v, bool viaCLibrary) {
    FloatPlan plan;
    plan.style = StyleOf(lower);
    // Precisions beyond 32 bits were refused by the first reservation.
    plan.precision = layout.hasPrecision ? layout.precision : (plan.style == Style::kHex ? -1 : 6);
    if (plan.style == Style::kGeneral && layout.hash) {
        // %#g keeps its trailing zeros: it is %e or %f with the precision
        // that %g would choose.
        const int64_t significant = plan.precision == 0 ? 1 : plan.precision;
        const int32_t exponent = FloatText::Exponent(
            v, static_cast<int32_t>(std::min<int64_t>(significant, INT32_MAX)), viaCLibrary);
        if (significant > exponent && exponent >= -4) {
            plan.style = Style::kFixed;
            plan.precision = significant - 1 - exponent;
        } else {
            plan.style = Style::kScientific;
            plan.precision = significant - 1;
        }
    }
    plan.rendered = static_cast<int32_t>(
        std::min<int64_t>(plan.precision, FloatText::PrecisionCap<T>(plan.style)));
    // %g has dropped the zeros beyond the digits the value has.
    plan.extraZeros =
        plan.style == Style::kGeneral ? 0 : std::max<int64_t>(plan.precision - plan.rendered, 0);
    plan.hash = layout.hash && plan.style != Style::kGeneral;
    return plan;
}

// Infinities and NaNs in C99's spelling, the same on every platform;
// never zero padded.
template <typename T>
Step NonFinite(TextBuffer& target, const Layout& layout, T v, bool upper, char sign,
               int64_t* count) {
    const char* word = std::isnan(v) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
    const int64_t signLength = sign != 0 ? 1 : 0;
    if (!Room(target, std::max<int64_t>(3 + signLength, layout.width))) {
        return Step::kStop;
    }
    char* out = target.Cursor();
    if (sign != 0) {
        *out++ = sign;
    }
    std::memcpy(out, word, 3);
    Pad(target, layout, 3 + signLength, false, 0, count);
    return Step::kContinue;
}

// Renders the digits after the room for the sign, with room left for the
// extra zeros and the padding; most often they fit in the room there is,
// else the room is made and they are rendered again. Their length, or -1
// when the room cannot be made.
template <typename T>
int64_t RenderDigits(TextBuffer& target, const Layout& layout, const FloatPlan& plan, T v,
                     int64_t signLength, bool upper, bool viaCLibrary) {
    int64_t length = -1;
    for (int attempt = 0; attempt < 2 && length < 0; ++attempt) {
        if (attempt == 1 && !Room(target, std::max(signLength + FloatText::Bound<T>(plan.rendered) +
                                                       plan.extraZeros,
                                                   layout.width))) {
            return -1;
        }
        if (target.Room() <= signLength + 1) {
            continue;
        }
        length = FloatText::Render(target.Cursor() + signLength,
                                   static_cast<size_t>(target.Room() - signLength), v, plan.style,
                                   plan.rendered, plan.hash, upper, viaCLibrary);
        const int64_t total =
            std::max(signLength + std::max<int64_t>(length, 0) + plan.extraZeros, layout.width);
        if (length >= 0 && total >= target.Room()) {
            length = -1;  // the zeros or the padding do not fit
        }
    }
    return length;
}

// More digits asked for than the type holds: the plan's zeros go after
// the length bytes of digits at body, before the exponent if any (the
// room is there).
void InsertZeros(char* body, int64_t length, const FloatPlan& plan, bool upper) {
    const char marker = plan.style == Style::kHex ? (upper ? 'P' : 'p') : (upper ? 'E' : 'e');
    char* insert = body + length;
    if (plan.style != Style::kFixed) {
        void* found = std::memchr(body, marker, static_cast<size_t>(length));
        insert = found != nullptr ? static_cast<char*>(found) : insert;
    }
    std::memmove(insert + plan.extraZeros, insert, static_cast<size_t>(body + length - insert));
    std::memset(insert, '0', static_cast<size_t>(plan.extraZeros));
}

template <typename T>
Step FloatingOf(TextBuffer& target, const Conversion& conv, T v, CallState* call) {
    if (!First(target, conv, kFloatMargin)) {
        return Step::kStop;
    }
    const Layout layout = MakeLayout(conv);
    const bool upper = conv.letter >= 'A' && conv.letter <= 'Z';
    const char lower = upper ? static_cast<char>(conv.letter - 'A' + 'a') : conv.letter;
    const char sign = std::signbit(v) ? '-' : layout.plus ? '+' : layout.space ? ' ' : 0;
    const int64_t signLength = sign != 0 ? 1 : 0;
    if (!std::isfinite(v)) {
        return NonFinite(target, layout, v, upper, sign, &call->count);
    }
    if (call->viaCLibrary < 0) {
        call->viaCLibrary = FloatText::CLibraryNeeded() ? 1 : 0;
    }
    const bool viaCLibrary = call->viaCLibrary != 0;
    const FloatPlan plan = Plan(layout, lower, v, viaCLibrary);
    const int64_t length = RenderDigits(target, layout, plan, v, signLength, upper, viaCLibrary);
    if (length < 0) {
        return Step::kStop;
    }
    char* out = target.Cursor();
    if (sign != 0) {
        out[0] = sign;
    }
    if (plan.extraZeros > 0) {
        InsertZeros(out + signLength, length, plan, upper);
    }
    // Zeros of the width go after the sign, and after the "0x" of %a.
    const int64_t keep = signLength + (plan.style == Style::kHex ? 2 : 0);
    Pad(target, layout, signLength + length + plan.extraZeros, layout.zero, keep, &call->count);
    return Step::kContinue;
}

}  // namespace

Step Floating(TextBuffer& target, const Conversion& conv, double v, CallState* call) {
    return FloatingOf(target, conv, v, call);
}

Step LongFloating(TextBuffer& target, const Conversion& conv, platform::HostLongDouble v,
                  CallState* call) {
    return FloatingOf(target, conv, v, call);
}

Step PlainFixed(TextBuffer& target, const char* digits, size_t digitCount, va_list* args,
                CallState* call) {
    const double v = va_arg(*args, double);
    int32_t precision = digits != nullptr ? 0 : 6;
    for (size_t i = 0; i < digitCount; ++i) {
        precision = precision * 10 + (digits[i] - '0');
    }
    if (call->viaCLibrary < 0) {
        call->viaCLibrary = FloatText::CLibraryNeeded() ? 1 : 0;
    }
    if (call->viaCLibrary == 0 && std::isfinite(v)) {
        // The usual record's number: exact in integer arithmetic, no
        // padding, no sign but a minus.
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

}  // namespace format
}  // namespace vosk
