// The buffered output stream of a log: pending bytes are written to a file
// descriptor when a newline is stored with Put, when the buffer runs full
// and on Sync. The stream never opens or closes the descriptor.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "text/TextBuffer.h"
#include "text/WriteGate.h"

namespace vosk {

class FileStream : public TextBuffer {
  public:
    // Pending bytes are written out when this many have gathered.
    static constexpr int32_t kBufferSize = 8192;
    // The storage starts this small and grows to kBufferSize when it runs
    // full, before anything is written: a log's record needs little, and an
    // idle log should not hold a page it never touches. When the stream
    // writes is the same as with kBufferSize bytes from the start.
    static constexpr int32_t kInitialSize = 256;
    static constexpr int kNoDescriptor = -1;

    explicit FileStream(int fd = kNoDescriptor);
    // Pending bytes are lost and the descriptor stays open.
    ~FileStream() override;

    // Writes everything pending. The room (positive) on success; 0 when a
    // write failed (the pending bytes are then dropped).
    int32_t Sync() override;
    // When the storage is full and smaller than kBufferSize, enlarges it
    // and returns the room made. Otherwise writes everything pending: the
    // capacity on success; -1
    // without a descriptor or when a write wrote nothing, -3 on a write
    // error. On failure the pending bytes are dropped. Everything pending
    // goes in one write through the file's gate (see WriteGate): when the
    // system takes only part of it (a full disk cuts a record short), the
    // rest is dropped, and the next bytes written to the file start on a
    // line of their own, not glued to that part.
    int32_t Overflow() override;

    // Storage grows as a record needs it (a conversion of great width);
    // beyond this it is given back after the record.
    static constexpr int32_t kShrinkAbove = 65536;
    // With nothing pending, gives storage larger than kShrinkAbove back,
    // down to kBufferSize, so that one very wide record does not keep its
    // memory for the log's life.
    void Shrink();

    // A record reaches the file in one write whatever its length, so that
    // records of two processes (or two handles) appending to one file never
    // tear. From BeginRecord the stream writes nothing: the storage grows
    // instead and line ends do not flush. EndRecord(true) writes everything
    // pending (raw text before the record included) at once and returns
    // Sync's result; EndRecord(false) only ends the hold. Shrink afterwards
    // gives back what a very long record made the storage grow to.
    void BeginRecord();
    int32_t EndRecord(bool write);

    // Writes a record rendered elsewhere, with what is pending before it,
    // in one write; without pending bytes straight from data (no copy).
    // Sync's results. Without a descriptor nothing is written and the
    // pending bytes are dropped, as Sync does.
    int32_t WriteAfterPending(const char* data, int32_t length);

    // True when a record may go to the descriptor from outside the stream,
    // the way WriteAfterPending would write it: nothing pending.
    bool WritesStraightThrough() const { return fd_ >= 0 && ContentLength() == 0; }
    // What one write through a gate did.
    struct GatedWrite {
        // Bytes that reached the file, a line end that ended a cut line
        // included.
        size_t delivered = 0;
        // The record is in the file whole.
        bool whole = false;
        // Only its last byte, a line end, did not reach the file: the line
        // is whole there, and the next bytes, which start on a line of
        // their own, end it.
        bool cutBeforeLineEnd = false;
    };
    // Writes a record to fd from outside the stream through the file's
    // gate, the way WriteAfterPending writes one, leaving the stream as it
    // is (a caller that writes while another thread uses the stream). When
    // it is not whole, errno says why.
    static GatedWrite WriteOutside(WriteGate& gate, int fd, const char* data, size_t size);

    // On: a write that fails after part of what it was given reached the
    // file takes that part off the file's end again, for a caller that
    // writes the record again (unless someone wrote after it meanwhile;
    // then the part stays and the next bytes start on a line of their own).
    void SetTakeBack(bool on) { takeBack_ = on; }

    // Drops the pending bytes and takes fd (not owned). gate is the gate of
    // everyone writing to fd (not owned); null: the stream's own.
    int Attach(int fd, WriteGate* gate = nullptr);
    // The gate the stream writes through.
    WriteGate* Gate() { return gate_; }
    // In a forked child: the pending bytes are the parent's to write.
    void DropPending() { Discard(); }
    // Writes the pending bytes and lets the descriptor go (not closed).
    int Detach();
    int Descriptor() const { return fd_; }
    // The last write that failed left only its last byte, a line end,
    // unwritten: the line is in the file whole, and the next bytes, which
    // start on a line of their own, end it.
    bool CutBeforeLineEnd() const { return cutBeforeLineEnd_; }
    // Bytes that the stream's own writes have put into descriptors, all of
    // them, since it was made: what reached a file, as opposed to what was
    // stored.
    int64_t Delivered() const { return delivered_; }

    // Append formatted text; -1 (and nothing done) without a descriptor.
    int32_t Print(const char* format, ...);
    int32_t PrintV(const char* format, va_list args);

  protected:
    // One write of the raw bytes; negative with errno set on failure.
    virtual long RawWrite(const char* data, size_t size);

  private:
    // Doubles the storage, up to kBufferSize, keeping the content. False
    // when it is that large already or cannot be enlarged.
    bool Enlarge();
    // Writes everything pending; Overflow's results.
    int32_t WritePending();
    // One RawWrite of size bytes through the gate; false, with the result
    // to report in failure (see Overflow) and errno set, when they did not
    // all reach the file.
    bool WriteAll(const char* data, size_t size, long* failure);

    int fd_;
    WriteGate ownGate_;
    WriteGate* gate_ = &ownGate_;
    int64_t delivered_ = 0;
    // Between BeginRecord and EndRecord.
    bool holding_ = false;
    bool takeBack_ = false;
    bool cutBeforeLineEnd_ = false;
};

}  // namespace vosk
