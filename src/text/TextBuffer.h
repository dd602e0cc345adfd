// The growable character buffer beneath every string and stream of the
// library. A buffer owns its storage (malloc/realloc/free) and a write
// cursor; derived classes decide through Sync and Overflow what happens
// when a line ends or the storage runs full.
//
// The content is [Data(), Cursor()); Room() bytes after it are free, and
// LastChar() is the last byte taken in. Only this class moves the cursor,
// so that content, room and last byte always agree: text rendered in
// place is taken in through Prepare and Commit, and derived classes that
// replace the storage hand it over through Resettle.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vosk {

class TextBuffer {
  public:
    // The only mode any buffer is built in: text is appended at the cursor.
    static constexpr int32_t kPutMode = 1;
    // Storage used when a constructor is asked for 0 bytes or less.
    static constexpr int32_t kDefaultSize = 512;

    virtual ~TextBuffer();
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    // Writes the pending content out. Positive on success.
    virtual int32_t Sync();
    // Never called by the library; kept for the buffer family's interface.
    virtual int32_t Underflow();
    // Makes room when the storage is full. Positive (the room made) on
    // success, 0 or less on failure.
    virtual int32_t Overflow();

    // Stores one character. Returns it as 0..255, or a negative value when
    // no room could be made or the line flush of a newline failed.
    int32_t Put(char c) {
        // A newline needs the slow path only where it flushes.
        if (room_ > 0 && (c != '\n' || !lineFlush_)) {
            *cursor_ = c;
            Commit(1);
            return static_cast<unsigned char>(c);
        }
        return PutSlow(c);
    }
    // Put for callers that keep a byte count: 1 when Put succeeded, else
    // Put's negative result (a newline whose flush failed stays stored).
    int32_t PutCounted(char c) {
        int32_t r = Put(c);
        return r < 0 ? r : 1;
    }
    // Appends length bytes of data (a negative length: data is a
    // NUL-terminated string). Returns the bytes stored, or Overflow's
    // failure result. A null pointer stores nothing and returns 0.
    int32_t Write(const char* data, int32_t length) {
        // A record's pieces nearly always fit: one room test, one copy.
        if (length > 0 && length <= room_ && data != nullptr) {
            std::memcpy(cursor_, data, static_cast<size_t>(length));
            Commit(length);
            return length;
        }
        return WriteSlow(data, length);
    }
    // Makes sure that at least count bytes are free after the cursor.
    // Returns the room afterwards, 0 when it cannot be made, -1 for a
    // negative count.
    int32_t Reserve(int32_t count);
    // Appending in place, in two steps: Prepare makes at least count bytes
    // free after the content and returns where they start (null when they
    // cannot be made); the caller renders there and Commit takes the first
    // length bytes (0 <= length <= Room()) into the content.
    char* Prepare(int32_t count) { return room_ >= count ? cursor_ : PrepareSlow(count); }
    void Commit(int32_t length) {
        cursor_ += length;
        room_ -= length;
        if (length > 0) {
            lastChar_ = cursor_[-1];
        }
    }
    // Enlarges the storage by at least its size and at least shortfall.
    // When the storage cannot be enlarged it is released (content lost);
    // a size beyond 32 bits is refused and the buffer left as it was.
    void Grow(int32_t shortfall);
    // Takes text rendered in place at the cursor (up to its NUL) into the
    // content; returns the number of bytes taken. The argument is unused
    // in put mode.
    int32_t Advance(int32_t count = 0);
    // The last character stored by Put, Write, Commit or Advance; 0 at first.
    char LastChar() const { return lastChar_; }
    // Whether storing a newline with Put flushes the content (Sync).
    bool LineFlush() const { return lineFlush_; }

    // The printf-style engine: appends the formatted text at the cursor
    // and returns the number of characters produced.
    int32_t AppendFormatV(const char* format, va_list args);

    int32_t Capacity() const { return capacity_; }
    int32_t Room() const { return room_; }
    int32_t ContentLength() const { return static_cast<int32_t>(cursor_ - start_); }
    const char* Data() const { return start_; }
    // Where the next byte goes: the first of the Room() free bytes.
    char* Cursor() const { return cursor_; }

  protected:
    TextBuffer(int32_t mode, int32_t size, bool lineFlush);
    // Starts in storage of the caller's (not owned, not freed): Reallocate
    // and ReleaseStorage of a derived class move it to owned storage.
    TextBuffer(char* storage, int32_t size, bool lineFlush);

    // Resizes the storage; std::realloc unless a test needs it to fail.
    virtual void* Reallocate(void* storage, size_t size);
    // Gives storage back; std::free unless the storage is not owned.
    virtual void ReleaseStorage(void* storage);

    // Forgets the content: cursor back to the start, all storage free.
    void Discard() {
        cursor_ = start_;
        room_ = capacity_;
    }
    // Cuts the content to its first length bytes (at most its length);
    // LastChar stays.
    void Truncate(int32_t length) {
        room_ += static_cast<int32_t>(cursor_ - start_) - length;
        cursor_ = start_ + length;
    }
    // The content's first byte, for derived classes that edit it in place.
    char* Storage() const { return start_; }
    // Moves to storage of capacity bytes that already holds the content
    // (a Reallocate result); the content must fit.
    void Resettle(char* storage, int32_t capacity);
    // Gives the storage back through ReleaseStorage: content and room gone.
    void LetStorageGo();
    void SetLineFlush(bool on) { lineFlush_ = on; }

    int32_t mode_ = kPutMode;

  private:
    int32_t PutSlow(char c);
    int32_t WriteSlow(const char* data, int32_t length);
    char* PrepareSlow(int32_t count);

    char* start_ = nullptr;
    int32_t capacity_ = 0;
    int32_t room_ = 0;
    char* cursor_ = nullptr;
    bool lineFlush_ = false;
    char lastChar_ = 0;
};

}  // namespace vosk
