#include "text/TextBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vosk {

TextBuffer::TextBuffer(int32_t mode, int32_t size, bool lineFlush)
    : mode_(mode), lineFlush_(lineFlush) {
    int32_t capacity = size > 0 ? size : kDefaultSize;
    start_ = static_cast<char*>(std::malloc(static_cast<size_t>(capacity)));
    if (start_ == nullptr) {
        // Without storage the buffer behaves as a full one; the next Grow
        // tries again from nothing.
        return;
    }
    start_[0] = '\0';
    cursor_ = start_;
    capacity_ = capacity;
    room_ = capacity;
}

TextBuffer::TextBuffer(char* storage, int32_t size, bool lineFlush)
    : start_(storage), capacity_(size), room_(size), cursor_(storage), lineFlush_(lineFlush) {}

TextBuffer::~TextBuffer() {
    std::free(start_);
}

int32_t TextBuffer::Sync() {
    return -1;
}

int32_t TextBuffer::Underflow() {
    return 0;
}

int32_t TextBuffer::Overflow() {
    return -1;
}

void* TextBuffer::Reallocate(void* storage, size_t size) {
    return std::realloc(storage, size);
}

void TextBuffer::ReleaseStorage(void* storage) {
    std::free(storage);
}

int32_t TextBuffer::PutSlow(char c) {
    while (room_ <= 0) {
        int32_t r = Overflow();
        if (r <= 0) {
            return r - 1;
        }
    }
    *cursor_ = c;
    Commit(1);
    if (c == '\n' && lineFlush_) {
        int32_t r = Sync();
        return r > 0 ? '\n' : r - 1;
    }
    return static_cast<unsigned char>(c);
}

int32_t TextBuffer::WriteSlow(const char* data, int32_t length) {
    if (data == nullptr) {
        return 0;
    }
    size_t total = length < 0 ? std::strlen(data) : static_cast<size_t>(length);
    // The result is 32-bit: a longer text is cut where the count ends.
    total = std::min<size_t>(total, INT32_MAX);
    size_t left = total;
    while (left > 0) {
        if (room_ <= 0) {
            int32_t r = Overflow();
            if (r <= 0) {
                lastChar_ = 0;
                return r;
            }
            // An Overflow that reports success without making room would
            // otherwise spin here for ever.
            if (room_ <= 0) {
                lastChar_ = 0;
                return 0;
            }
        }
        size_t n = std::min(left, static_cast<size_t>(room_));
        std::memcpy(cursor_, data, n);
        Commit(static_cast<int32_t>(n));
        data += n;
        left -= n;
    }
    return static_cast<int32_t>(total);
}

int32_t TextBuffer::Reserve(int32_t count) {
    if (count < 0) {
        return -1;
    }
    if (count > room_) {
        Grow(count - room_);
    }
    // A growth that could not be made (too large for 32 bits) leaves the
    // buffer as it was; never report room that is not there.
    return room_ >= count ? room_ : 0;
}

char* TextBuffer::PrepareSlow(int32_t count) {
    return Reserve(count) >= count ? cursor_ : nullptr;
}

void TextBuffer::Grow(int32_t shortfall) {
    int64_t step = std::max<int64_t>(capacity_, shortfall);
    int64_t capacity = static_cast<int64_t>(capacity_) + step;
    if (step <= 0 || capacity > INT32_MAX) {
        return;
    }
    char* storage = static_cast<char*>(Reallocate(start_, static_cast<size_t>(capacity)));
    if (storage == nullptr) {
        // The content cannot be kept: give the old storage back rather
        // than hold it with nowhere to put more.
        LetStorageGo();
        return;
    }
    Resettle(storage, static_cast<int32_t>(capacity));
}

void TextBuffer::Resettle(char* storage, int32_t capacity) {
    const int32_t length = static_cast<int32_t>(cursor_ - start_);
    start_ = storage;
    cursor_ = storage + length;
    capacity_ = capacity;
    room_ = capacity - length;
}

void TextBuffer::LetStorageGo() {
    ReleaseStorage(start_);
    start_ = nullptr;
    cursor_ = nullptr;
    capacity_ = 0;
    room_ = 0;
}

int32_t TextBuffer::Advance(int32_t) {
    if (room_ <= 0) {
        return 0;
    }
    const void* nul = std::memchr(cursor_, '\0', static_cast<size_t>(room_));
    int32_t taken =
        nul != nullptr ? static_cast<int32_t>(static_cast<const char*>(nul) - cursor_) : room_;
    Commit(taken);
    return taken;
}

}  // namespace vosk
