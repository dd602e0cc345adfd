// Storage of the calling thread for one record rendered before the log's
// lock is taken: it starts in an array of its own (on the caller's stack)
// and moves to the heap only for a longer record, which it gives back when
// the record is done. No storage outlives the record, so a thread leaves
// nothing behind and the library can be unloaded while the thread lives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/TextBuffer.h"

namespace vosk {

class RecordBuffer : public TextBuffer {
  public:
    // Covers the stamp and a message of a few lines.
    static constexpr int32_t kInlineSize = 1024;

    RecordBuffer();
    ~RecordBuffer() override;
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;

    // Grows the storage; the room afterwards, 0 or less when it cannot.
    int32_t Overflow() override;
    // True when a growth failed and part of the record may be missing.
    bool Lost() const { return lost_; }

  protected:
    void* Reallocate(void* storage, size_t size) override;
    void ReleaseStorage(void* storage) override;

  private:
    bool lost_ = false;
    char inline_[kInlineSize];
};

}  // namespace vosk
