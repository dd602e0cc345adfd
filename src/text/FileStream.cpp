#include "text/FileStream.h"

#include <algorithm>
#include <cerrno>

#include "platform/Files.h"

namespace vosk {

namespace {
// Overflow's failure results.
constexpr int32_t kNothingWritten = -1;
constexpr int32_t kWriteError = -3;
// Sync gives up after this many flushes even if bytes remain. 101, not
// 100, on purpose: the count the stream has always used. Each flush writes
// or drops everything pending, so one is all Sync needs; the limit only
// bounds it should a flush ever leave bytes behind.
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
    if (Capacity() >= kBufferSize) {
        return false;
    }
    int32_t capacity = std::min(std::max(Capacity() * 2, kInitialSize), kBufferSize);
    char* storage = static_cast<char*>(Reallocate(Storage(), static_cast<size_t>(capacity)));
    if (storage == nullptr) {
        // Not enlarged, nothing lost: the stream writes out as if it were full.
        return false;
    }
    Resettle(storage, capacity);
    return true;
}

int32_t FileStream::Overflow() {
    // Full below kBufferSize: grow instead of writing, so that the stream
    // writes at the same points as one that had kBufferSize from the start.
    if (Room() <= 0 && Enlarge()) {
        return Room();
    }
    if (holding_) {
        // A record is never written in parts. A growth that fails loses
        // the content (Grow): the record is dropped rather than cut.
        if (Room() <= 0) {
            Grow(Capacity());
        }
        return Room() > 0 ? Room() : kNothingWritten;
    }
    return WritePending();
}

void FileStream::BeginRecord() {
    holding_ = true;
    SetLineFlush(false);
}

int32_t FileStream::EndRecord(bool write) {
    holding_ = false;
    SetLineFlush(true);
    return write ? Sync() : Room();
}

int32_t FileStream::WriteAfterPending(const char* data, int32_t length) {
    if (fd_ < 0) {
        Discard();
        return kNothingWritten;
    }
    if (ContentLength() != 0 || lineCut_) {
        BeginRecord();
        int32_t stored = Write(data, length);
        return EndRecord(stored == length);
    }
    long failure = 0;
    if (!WriteAll(data, static_cast<size_t>(length), &failure)) {
        lineCut_ = !atLineStart_;
        return failure == 0 ? kNothingWritten : kWriteError;
    }
    return Room();
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
    cutBeforeLineEnd_ = next != data && end - next == 1 && *next == '\n';
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
    if (lineCut_ && ContentLength() > 0) {
        ok = WriteAll("\n", 1, &failure);
        lineCut_ = !ok;
    }
    ok = ok && WriteAll(Data(), static_cast<size_t>(ContentLength()), &failure);
    Discard();
    if (!ok) {
        lineCut_ = !atLineStart_;
        return failure == 0 ? kNothingWritten : kWriteError;
    }
    return Room();
}

int32_t FileStream::Sync() {
    for (int calls = 0; ContentLength() > 0 && calls < kSyncFlushLimit; ++calls) {
        if (WritePending() <= 0) {
            // A failed WritePending has dropped the pending bytes, so this
            // is 0: the result Sync has always given after a failed write.
            int32_t pending = ContentLength();
            Discard();
            return -pending;
        }
    }
    return Room();
}

void FileStream::Shrink() {
    if (ContentLength() != 0) {
        return;
    }
    if (Capacity() <= kShrinkAbove) {
        return;
    }
    char* storage = static_cast<char*>(Reallocate(Storage(), static_cast<size_t>(kBufferSize)));
    if (storage == nullptr) {
        return;  // still large, still usable
    }
    Resettle(storage, kBufferSize);
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
