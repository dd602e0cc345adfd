#include "text/StringBuffer.h"

#include <cstring>

namespace vosk {

StringBuffer::StringBuffer() : TextBuffer(kPutMode, kInitialSize, true) {}

StringBuffer::StringBuffer(const char* text) : StringBuffer() {
    Assign(text);
}

StringBuffer::~StringBuffer() = default;

int32_t StringBuffer::Overflow() {
    return Reserve(kGrowStep);
}

void StringBuffer::Reset() {
    Discard();
    if (Room() > 0) {
        *Cursor() = '\0';
    }
}

void StringBuffer::Terminate() {
    if (Room() <= 0) {
        Reserve(kGrowStep);
    }
    if (Room() > 0) {
        *Cursor() = '\0';
    }
}

const char* StringBuffer::CStr() {
    if (Room() <= 0) {
        Reserve(kGrowStep);
    }
    if (Room() <= 0) {
        return "";
    }
    *Cursor() = '\0';
    return Data();
}

StringBuffer& StringBuffer::Assign(const char* text) {
    if (text == nullptr) {
        Reset();
        return *this;
    }
    const char* storage = Data();
    if (storage != nullptr && text >= storage && text < storage + Capacity()) {
        // Text from our own storage (a CStr, or a tail of it): Reset would
        // overwrite it before it is read, so move it into place instead.
        size_t limit = static_cast<size_t>(storage + Capacity() - text);
        const void* nul = std::memchr(text, '\0', limit);
        size_t length =
            nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - text) : limit;
        Discard();
        std::memmove(Cursor(), text, length);
        Commit(static_cast<int32_t>(length));
        Terminate();
        return *this;
    }
    size_t length = std::strlen(text);
    if (length > static_cast<size_t>(Capacity())) {
        Reserve(length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length));
    }
    Reset();
    for (const char* p = text; *p != '\0'; ++p) {
        Put(*p);
    }
    Terminate();
    return *this;
}

void StringBuffer::Trim() {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    char* const text = Storage();
    int32_t end = Length();
    while (end > 0 && blank(text[end - 1])) {
        --end;
    }
    int32_t begin = 0;
    while (begin < end && blank(text[begin])) {
        ++begin;
    }
    if (begin > 0) {
        std::memmove(text, text + begin, static_cast<size_t>(end - begin));
    }
    Truncate(end - begin);
}

StringBuffer& StringBuffer::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
    return *this;
}

StringBuffer& StringBuffer::FormatV(const char* format, va_list args) {
    Reset();
    AppendFormatV(format, args);
    Terminate();
    return *this;
}

bool StringBuffer::operator==(const char* text) {
    return text != nullptr && std::strcmp(CStr(), text) == 0;
}

bool StringBuffer::operator!=(const char* text) {
    return !(*this == text);
}

bool StringBuffer::operator==(StringBuffer& other) {
    return *this == other.CStr();
}

bool StringBuffer::operator!=(StringBuffer& other) {
    return !(*this == other);
}

}  // namespace vosk
