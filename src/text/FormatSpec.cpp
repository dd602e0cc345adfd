#include "text/FormatSpec.h"

#include <climits>

#include "text/DecimalDigits.h"

namespace vosk {
namespace format {

namespace {

// A digit run saturates here: beyond every 32-bit value, so that any
// reservation built on it fails instead of wrapping.
constexpr int64_t kSaturated = int64_t{INT32_MAX} + 1;

int64_t AddDigit(int64_t value, char digit) {
    return std::min(value * 10 + (digit - '0'), kSaturated);
}

// Reads width text the way printf does: leading "-" and "0" are flags,
// the digits after them the width.
class WidthReader {
  public:
    void Feed(const Field& field) {
        if (!field.present) {
            return;
        }
        if (field.star) {
            char text[DecimalDigits::kSignedRoom];
            size_t length = DecimalDigits::Signed(static_cast<int32_t>(field.value), text);
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

// The flags, in any order, each as often as the format repeats it.
const char* ReadFlags(const char* p, Conversion* conv) {
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
            return p;
        }
    }
}

// A width or a precision: "*" and its argument, or digits, or nothing.
const char* ReadField(const char* p, va_list* args, Field* f) {
    if (*p == '*') {
        f->present = true;
        f->star = true;
        f->value = va_arg(*args, int);
        return p + 1;
    }
    if (IsDigit(*p)) {
        f->present = true;
        f->digits = p;
        while (IsDigit(*p)) {
            f->value = AddDigit(f->value, *p++);
        }
        f->digitCount = static_cast<size_t>(p - f->digits);
    }
    return p;
}

const char* ReadLength(const char* p, Length* length) {
    switch (*p) {
        case 'h':
            *length = p[1] == 'h' ? Length::kChar : Length::kShort;
            return p + (p[1] == 'h' ? 2 : 1);
        case 'l':
            *length = p[1] == 'l' ? Length::kLongLong : Length::kLong;
            return p + (p[1] == 'l' ? 2 : 1);
        case 'j':
            *length = Length::kMax;
            return p + 1;
        case 'z':
            *length = Length::kSize;
            return p + 1;
        case 't':
            *length = Length::kPtrdiff;
            return p + 1;
        case 'L':
            *length = Length::kLongDouble;
            return p + 1;
        default:
            return p;
    }
}

}  // namespace

bool ReadConversion(const char** cursor, va_list* args, Conversion* conv) {
    const char* p = ReadFlags(*cursor, conv);
    p = ReadField(p, args, &conv->width);
    if (*p == '.') {
        conv->dot = true;
        ++p;
    }
    // Read without a "." too: see MakeLayout.
    p = ReadField(p, args, &conv->precision);
    p = ReadLength(p, &conv->length);
    if (*p == '\0') {
        *cursor = p;
        return false;
    }
    conv->letter = *p++;
    *cursor = p;
    return true;
}

Layout MakeLayout(const Conversion& conv) {
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

}  // namespace format
}  // namespace vosk
