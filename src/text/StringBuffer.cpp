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
    if (start_ != nullptr) {
        start_[0] = '\0';
    }
}

void StringBuffer::Terminate() {
    if (room_ <= 0) {
        Reserve(kGrowStep);
    }
    if (room_ > 0) {
        *cursor_ = '\0';
    }
}

const char* StringBuffer::CStr() {
    if (room_ <= 0) {
        Reserve(kGrowStep);
    }
    if (room_ <= 0) {
        return "";
    }
    *cursor_ = '\0';
    return start_;
}

StringBuffer& StringBuffer::Assign(const char* text) {
    if (text == nullptr) {
        Reset();
        return *this;
    }
    if (start_ != nullptr && text >= start_ && text < start_ + capacity_) {
        // Text from our own storage (a CStr, or a tail of it): Reset would
        // overwrite it before it is read, so move it into place instead.
        size_t limit = static_cast<size_t>(start_ + capacity_ - text);
        const void* nul = std::memchr(text, '\0', limit);
        size_t length =
            nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - text) : limit;
        std::memmove(start_, text, length);
        cursor_ = start_ + length;
        room_ = capacity_ - static_cast<int32_t>(length);
        if (length > 0) {
            lastChar_ = cursor_[-1];
        }
        Terminate();
        return *this;
    }
    size_t length = std::strlen(text);
    if (length > static_cast<size_t>(capacity_)) {
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
    while (cursor_ > start_ && (cursor_[-1] == ' ' || cursor_[-1] == '\t')) {
        --cursor_;
        ++room_;
    }
    char* p = start_;
    while (p < cursor_ && (*p == ' ' || *p == '\t')) {
        ++p;
    }
    int32_t skipped = static_cast<int32_t>(p - start_);
    if (skipped > 0) {
        std::memmove(start_, p, static_cast<size_t>(cursor_ - p));
        cursor_ -= skipped;
        room_ += skipped;
    }
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
