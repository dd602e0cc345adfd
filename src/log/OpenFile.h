// A log's open file, shared by everyone writing to it: the log, through
// its stream, and each writer that writes a rendered record outside the
// log's lock. The log hands a writer a reference under the lock; rotation,
// reopening and closing only swap in another file, and whoever lets go of
// the last reference closes the descriptor. So no write ever reaches a
// descriptor that was closed, or whose number names another file since.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "text/WriteGate.h"

namespace vosk {

class OpenFile {
  public:
    // Takes fd (owned from now on).
    explicit OpenFile(int fd) : fd_(fd) {}
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int Descriptor() const { return fd_; }
    // Every write into the file passes it, the log's stream's too: one at a
    // time, each knowing whether the file ends inside a line that a write
    // cut short (see WriteGate).
    WriteGate& Gate() { return gate_; }

    // Writes a record made outside the log's lock, in one write through the
    // gate as the stream makes its own; when the system takes only part of
    // it, the rest is dropped and the next bytes written start on a line
    // of their own. 0 when the record was written whole (or all but its
    // line end, which the next bytes then give), else the errno of the
    // failure.
    int WriteAside(const char* data, size_t size);
    // Bytes that writes outside the lock put into the file so far.
    int64_t DeliveredAside() const { return deliveredAside_.load(std::memory_order_relaxed); }
    // True while the file ends inside a line that a write cut short.
    bool CutLine() {
        WriteGateHold hold(gate_);
        return gate_.Cut();
    }

  private:
    // The log reads the count under its lock at every record; writers
    // outside it add to it after every write. Apart, so that those
    // additions do not take the line the log reads away from it.
    const int fd_;
    WriteGate gate_;
    alignas(64) std::atomic<int64_t> deliveredAside_{0};
};

using SharedFile = std::shared_ptr<OpenFile>;

}  // namespace vosk
