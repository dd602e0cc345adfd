#include "text/FileStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

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
    if (ContentLength() != 0) {
        BeginRecord();
        int32_t stored = Write(data, length);
        return EndRecord(stored == length);
    }
    long failure = 0;
    if (!WriteAll(data, static_cast<size_t>(length), &failure)) {
        return failure == 0 ? kNothingWritten : kWriteError;
    }
    return Room();
}

namespace {

// One write call for [data, data + size): tried again when it fails with
// EAGAIN or EINTR, having written nothing. The call's result.
template <class Write>
long WriteOnce(Write write, const char* data, size_t size) {
    for (;;) {
        const long written = write(data, size);
        if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        return written;
    }
}

// Writes [data, data + size) in one call of write through the gate, with
// the line end that ends a cut line ahead of it. A call that writes only a
// part is not followed by another for the rest: under the gate no other
// record of this process could come first, but one of another process
// could, and the record would be finished after it. The rest is dropped:
// what landed is taken back when takeBack can (the file ends with it), and
// otherwise stays as a line cut short, which the next write ends. takeBack
// (bytes, count, lineEnd) takes back count bytes and, when lineEnd is 1, a
// line end after them. On
// failure, failure holds the result to report (0: nothing written, -1:
// errno says why).
template <class Write, class TakeBack>
FileStream::GatedWrite WriteThroughGate(WriteGate& gate, Write write, bool takingBack,
                                        TakeBack takeBack, const char* data, size_t size,
                                        long* failure) {
    FileStream::GatedWrite out;
    if (size == 0) {
        out.whole = true;
        return out;
    }
    WriteGateHold hold(gate);
    const char* bytes = data;
    size_t total = size;
    std::unique_ptr<char[]> joined;
    if (gate.Cut()) {
        // Rare (right after a full disk): a copy, so that the line end and
        // the record leave in one call.
        joined.reset(new (std::nothrow) char[size + 1]);
        if (joined == nullptr) {
            errno = ENOMEM;
            *failure = -1;
            return out;
        }
        joined[0] = '\n';
        std::memcpy(joined.get() + 1, data, size);
        bytes = joined.get();
        total = size + 1;
    }
    const long written = WriteOnce(write, bytes, total);
    if (written <= 0) {
        // Nothing landed: a cut line before stays to be ended.
        *failure = written;
        return out;
    }
    size_t landed = std::min(static_cast<size_t>(written), total);
    if (landed == total) {
        gate.SetCut(false);
        out.delivered = landed;
        out.whole = true;
        return out;
    }
    // The system took a part: a full disk, a quota or a file size limit.
    // One more byte, a line end, says which when it is refused (the short
    // write does not); when it lands, the cut line is ended at once, so
    // that another process's next record does not land on it either.
    int error = ENOSPC;
    const bool beforeLineEnd = total - landed == 1 && bytes[landed] == '\n';
    const bool lineOpen = bytes[landed - 1] != '\n';
    size_t ended = 0;
    if (lineOpen || takingBack) {
        errno = 0;
        const long probe = WriteOnce(write, "\n", 1);
        if (probe == 1) {
            ended = 1;
        } else if (probe < 0 && errno != 0) {
            error = errno;
        }
    }
    if (beforeLineEnd && ended == 1) {
        // The missing byte was that line end: the record is whole.
        gate.SetCut(false);
        out.delivered = total;
        out.whole = true;
        return out;
    }
    if (takingBack && takeBack(bytes, landed, ended)) {
        // As before the call, a cut line before it included.
        landed = 0;
    } else {
        gate.SetCut(lineOpen && ended == 0);
        out.cutBeforeLineEnd = beforeLineEnd;
        landed += ended;
    }
    out.delivered = landed;
    if (!out.whole) {
        *failure = -1;
    }
    errno = error;
    return out;
}

}  // namespace

bool FileStream::WriteAll(const char* data, size_t size, long* failure) {
    const GatedWrite w = WriteThroughGate(
        *gate_, [this](const char* bytes, size_t count) { return RawWrite(bytes, count); },
        takeBack_,
        [this](const char* bytes, size_t count, size_t lineEnd) {
            if (lineEnd == 0) {
                return platform::FileTakeBack(fd_, bytes, count);
            }
            // As written: on Windows each line end took a carriage return.
            std::unique_ptr<char[]> all(new (std::nothrow) char[count + 1]);
            if (all == nullptr) {
                return false;
            }
            std::memcpy(all.get(), bytes, count);
            all[count] = '\n';
            return platform::FileTakeBack(fd_, all.get(), count + 1);
        },
        data, size, failure);
    delivered_ += static_cast<int64_t>(w.delivered);
    cutBeforeLineEnd_ = w.cutBeforeLineEnd;
    return w.whole;
}

FileStream::GatedWrite FileStream::WriteOutside(WriteGate& gate, int fd, const char* data,
                                                size_t size) {
    long failure = 0;
    return WriteThroughGate(
        gate,
        [fd](const char* bytes, size_t count) { return platform::FileWrite(fd, bytes, count); },
        false, [](const char*, size_t, size_t) { return false; }, data, size, &failure);
}

int32_t FileStream::WritePending() {
    if (fd_ < 0) {
        Discard();
        return kNothingWritten;
    }
    long failure = 0;
    const bool ok = WriteAll(Data(), static_cast<size_t>(ContentLength()), &failure);
    Discard();
    if (!ok) {
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

int FileStream::Attach(int fd, WriteGate* gate) {
    Discard();
    fd_ = fd;
    gate_ = gate != nullptr ? gate : &ownGate_;
    if (gate == nullptr) {
        // Another file: nothing of the last one to end.
        WriteGateHold hold(ownGate_);
        ownGate_.Reset();
    }
    return fd;
}

int FileStream::Detach() {
    Sync();
    Attach(kNoDescriptor);
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
