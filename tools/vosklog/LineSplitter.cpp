#include "LineSplitter.h"

#include <cstring>
#include <new>

namespace vosklog {

void LineSplitter::Emit(const char* line, size_t length, bool ended) {
    size_t endLength = 0;
    if (ended) {
        endLength = 1;
        if (length > 0 && line[length - 1] == '\r') {
            --length;
            endLength = 2;
        }
    }
    handler_(line, length, endLength);
}

void LineSplitter::Keep(const char* data, size_t length) {
    try {
        pending_.append(data, length);
        return;
    } catch (const std::bad_alloc&) {
    }
    if (!pending_.empty()) {
        Emit(pending_.data(), pending_.size(), false);
        pending_.clear();
        pending_.shrink_to_fit();
    }
    try {
        pending_.assign(data, length);
    } catch (const std::bad_alloc&) {
        Emit(data, length, false);
    }
}

void LineSplitter::Feed(const char* data, size_t length) {
    const char* end = data + length;
    while (data < end) {
        const char* lineEnd =
            static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(end - data)));
        if (lineEnd == nullptr) {
            Keep(data, static_cast<size_t>(end - data));
            return;
        }
        // The line end goes along so that a CR before it is seen; Emit
        // takes it off again.
        const size_t piece = static_cast<size_t>(lineEnd - data) + 1;
        if (pending_.empty()) {
            Emit(data, piece - 1, true);
        } else {
            Keep(data, piece);
            // Empty when memory ran out and the piece went out by itself.
            if (!pending_.empty()) {
                Emit(pending_.data(), pending_.size() - 1, true);
                pending_.clear();
            }
        }
        data += piece;
    }
}

void LineSplitter::Finish() {
    if (!pending_.empty()) {
        Emit(pending_.data(), pending_.size(), false);
        pending_.clear();
    }
}

}  // namespace vosklog
