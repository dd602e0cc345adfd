#include "text/FileStream.h"

#include <algorithm>
#include <cerrno>

#include "platform/Files.h"

namespace vosk {

namespace {
// Overflow's failure results.
constexpr int32_t kNothingWritten = -1;
constexpr int32_t kWriteError = -3;
// Sync gives up after this many flushes even if bytes remain.
constexpr int kSyncFlushLimit = 101;
}  // namespace

FileStream::FileStream(int fd) : TextBuffer(kPutMode, kInitialSize, true), fd_(fd) {}

FileStream::~FileStream() {
    fd_ = kNoDescriptor;
}

long FileStream::RawWrite(const char* data, size_t size) {
    return platform::FileWrite(fd_, data, size);
}

bool FileStream::Enlarge() {
    if (capacity_ >= kBufferSize) {
        return false;
    }
    int32_t capacity = std::min(std::max(capacity_ * 2, kInitialSize), kBufferSize);
    int32_t length = static_cast<int32_t>(cursor_ - start_);
    char* storage = static_cast<char*>(Reallocate(start_, static_cast<size_t>(capacity)));
    if (storage == nullptr) {
        // Not enlarged, nothing lost: the stream writes out as if it were full.
        return false;
    }
    start_ = storage;
    cursor_ = storage + length;
    capacity_ = capacity;
    room_ = capacity - length;
    return true;
}

int32_t FileStream::Overflow() {
    // Full below kBufferSize: grow instead of writing, so that the stream
    // writes at the same points as one that had kBufferSize from the start.
    if (room_ <= 0 && Enlarge()) {
        return room_;
    }
    if (holding_) {
        // A record is never written in parts. A growth that fails loses
        // the content (Grow): the record is dropped rather than cut.
        if (room_ <= 0) {
            Grow(capacity_);
        }
        return room_ > 0 ? room_ : kNothingWritten;
    }
    return WritePending();
}

void FileStream::BeginRecord() {
    holding_ = true;
    lineFlush_ = false;
}

int32_t FileStream::EndRecord(bool write) {
    holding_ = false;
    lineFlush_ = true;
    return write ? Sync() : room_;
}

int32_t FileStream::WriteRecord(const char* data, int32_t length) {
    if (fd_ < 0) {
        Discard();
        return kNothingWritten;
    }
    if (cursor_ != start_ || lineCut_) {
        BeginRecord();
        int32_t stored = Write(data, length);
        return EndRecord(stored == length);
    }
    long failure = 0;
    if (!WriteAll(data, static_cast<size_t>(length), &failure)) {
        lineCut_ = !atLineStart_;
        return failure == 0 ? kNothingWritten : kWriteError;
    }
    return room_;
}

namespace {

// Calls write for what remains of [data, end) until all of it is written,
// or a call writes nothing or fails for another reason than EAGAIN or
// EINTR (its result then in *failure). Where the writing stopped.
template <class Write>
const char* WriteLoop(Write write, const char* data, const char* end, long* failure) {
    const char* next = data;
    while (next < end) {
        long written = write(next, static_cast<size_t>(end - next));
        if (written > 0) {
            next += std::min<long>(written, end - next);
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        *failure = written;
        break;
    }
    return next;
}

}  // namespace

bool FileStream::WriteAll(const char* data, size_t size, long* failure) {
    const char* const end = data + size;
    const char* next =
        WriteLoop([this](const char* bytes, size_t count) { return RawWrite(bytes, count); }, data,
                  end, failure);
    if (takeBack_ && next != data && next != end) {
        const int saved = errno;
        if (platform::FileTakeBack(fd_, data, static_cast<size_t>(next - data))) {
            next = data;
        }
        errno = saved;
    }
    if (next != data) {
        atLineStart_ = next[-1] == '\n';
        delivered_ += next - data;
    }
    return next == end;
}

size_t FileStream::WriteOutside(int fd, const char* data, size_t size) {
    long failure = 0;
    const char* next = WriteLoop(
        [fd](const char* bytes, size_t count) { return platform::FileWrite(fd, bytes, count); },
        data, data + size, &failure);
    return static_cast<size_t>(next - data);
}

int32_t FileStream::WritePending() {
    if (fd_ < 0) {
        Discard();
        return kNothingWritten;
    }
    long failure = 0;
    bool ok = true;
    if (lineCut_ && cursor_ > start_) {
        ok = WriteAll("\n", 1, &failure);
        lineCut_ = !ok;
    }
    ok = ok && WriteAll(start_, static_cast<size_t>(cursor_ - start_), &failure);
    Discard();
    if (!ok) {
        lineCut_ = !atLineStart_;
        return failure == 0 ? kNothingWritten : kWriteError;
    }
    return room_;
}

int32_t FileStream::Sync() {
    for (int calls = 0; cursor_ > start_ && calls < kSyncFlushLimit; ++calls) {
        if (WritePending() <= 0) {
            int32_t pending = static_cast<int32_t>(cursor_ - start_);
            Discard();
            return -pending;
        }
    }
    return room_;
}

void FileStream::Shrink() {
    if (cursor_ != start_) {
        return;
    }
    if (capacity_ <= kShrinkAbove) {
        return;
    }
    char* storage = static_cast<char*>(Reallocate(start_, static_cast<size_t>(kBufferSize)));
    if (storage == nullptr) {
        return;  // still large, still usable
    }
    start_ = storage;
    cursor_ = storage;
    capacity_ = kBufferSize;
    room_ = kBufferSize;
}

int FileStream::Attach(int fd) {
    Discard();
    fd_ = fd;
    atLineStart_ = true;
    lineCut_ = false;
    return fd;
}

int FileStream::Detach() {
    Sync();
    fd_ = kNoDescriptor;
    Discard();
    return 0;
}

int32_t FileStream::Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int32_t count = PrintV(format, args);
    va_end(args);
    return count;
}

int32_t FileStream::PrintV(const char* format, va_list args) {
    if (fd_ < 0) {
        return -1;
    }
    return AppendFormatV(format, args);
}

}  // namespace vosk
