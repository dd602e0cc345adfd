#include "LineSplitter.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vosklog {

void LineSplitter::Emit(const char* data, size_t length, size_t endLength) {
    const bool continued = continued_;
    // Set first: a handler that throws leaves the next piece marked right.
    continued_ = endLength == 0;
    handler_(LinePiece{data, length, endLength, continued});
}

void LineSplitter::EmitLine(const char* line, size_t length, bool ended) {
    size_t endLength = 0;
    if (ended) {
        endLength = 1;
        if (length > 0 && line[length - 1] == '\r') {
            --length;
            endLength = 2;
        }
    }
    while (maxLine_ != 0 && length > maxLine_) {
        Emit(line, maxLine_, 0);
        line += maxLine_;
        length -= maxLine_;
    }
    Emit(line, length, endLength);
}

void LineSplitter::Keep(const char* data, size_t length) {
    try {
        pending_.append(data, length);
        return;
    } catch (const std::bad_alloc&) {
    }
    if (!pending_.empty()) {
        Emit(pending_.data(), pending_.size(), 0);
        pending_.clear();
        pending_.shrink_to_fit();
    }
    try {
        pending_.assign(data, length);
    } catch (const std::bad_alloc&) {
        Emit(data, length, 0);
    }
}

void LineSplitter::Gather(const char* data, size_t length) {
    if (maxLine_ == 0) {
        Keep(data, length);
        return;
    }
    // At most a piece and two bytes are kept: a CR after a full piece may
    // be the start of the line end, which the byte after it tells.
    while (length > 0) {
        const size_t step = std::min(length, maxLine_ + 2 - pending_.size());
        Keep(data, step);
        data += step;
        length -= step;
        while (pending_.size() > maxLine_ + 1 ||
               (pending_.size() == maxLine_ + 1 && pending_.back() != '\r')) {
            Emit(pending_.data(), maxLine_, 0);
            pending_.erase(0, maxLine_);
        }
    }
}

void LineSplitter::Feed(const char* data, size_t length) {
    const char* end = data + length;
    while (data < end) {
        const char* lineEnd =
            static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(end - data)));
        if (lineEnd == nullptr) {
            Gather(data, static_cast<size_t>(end - data));
            return;
        }
        const size_t content = static_cast<size_t>(lineEnd - data);
        if (pending_.empty()) {
            EmitLine(data, content, true);
        } else {
            Gather(data, content);
            // The end goes along: a handler finds it right after the line.
            Keep(lineEnd, 1);
            if (!pending_.empty()) {
                EmitLine(pending_.data(), pending_.size() - 1, true);
                pending_.clear();
            }
        }
        data = lineEnd + 1;
    }
}

void LineSplitter::Finish() {
    if (!pending_.empty()) {
        EmitLine(pending_.data(), pending_.size(), false);
        pending_.clear();
    }
    continued_ = false;
}

}  // namespace vosklog
