#include "text/RecordBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vosk {

// The base is handed the array's address only; nothing is stored in it
// before the constructor returns.
RecordBuffer::RecordBuffer() : TextBuffer(inline_, kInlineSize, false) {}

RecordBuffer::~RecordBuffer() {
    LetStorageGo();  // the base frees nothing more
}

int32_t RecordBuffer::Overflow() {
    Grow(Capacity());
    return Room() > 0 ? Room() : -1;
}

void* RecordBuffer::Reallocate(void* storage, size_t size) {
    void* moved;
    if (storage == inline_) {
        moved = std::malloc(size);
        if (moved != nullptr) {
            std::memcpy(moved, inline_, std::min(size, sizeof(inline_)));
        }
    } else {
        moved = std::realloc(storage, size);
    }
    if (moved == nullptr) {
        lost_ = true;
    }
    return moved;
}

void RecordBuffer::ReleaseStorage(void* storage) {
    if (storage != inline_) {
        std::free(storage);
    }
}

}  // namespace vosk
