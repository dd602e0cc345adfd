// The character and string conversions (c s, and their wide forms lc ls).

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>

#include "text/FormatRender.h"

namespace vosk {
namespace format {

namespace {

// Printed for a wide character the locale cannot encode, where printf
// would fail the whole call.
constexpr char kUnencodable = '?';

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

Step Character(TextBuffer& target, const Conversion& conv, va_list* args, int64_t* count) {
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

Step String(TextBuffer& target, const Conversion& conv, const char* text, int64_t* count) {
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

Step WideString(TextBuffer& target, const Conversion& conv, const wchar_t* text, int64_t* count) {
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

}  // namespace format
}  // namespace vosk
