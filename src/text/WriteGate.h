// The writes into one open file, one at a time, by everyone who writes to
// it: a log's stream under the log's lock and the writers that write a
// record after letting that lock go. Each write is one write() of a
// record (or of what is pending); a write that the system takes only in
// part (a full disk, a file size limit) is never continued by a second
// one, which another record could precede, and the line it cut is marked
// here, so that whoever writes next starts on a line of its own.
//
// Other processes appending to the same file (a forked child, another
// program given the path) do not pass this gate: a cut line is ended at
// once when the system takes one more byte, which leaves them only the
// moment between the two writes, or a disk that stays full until they
// write first.
#pragma once

#include "platform/Sync.h"
#include "platform/ThreadAnnotations.h"

namespace vosk {

class CAPABILITY("mutex") WriteGate {
  public:
    WriteGate() { platform::SectionInit(&section_); }
    ~WriteGate() { platform::SectionDelete(&section_); }
    WriteGate(const WriteGate&) = delete;
    WriteGate& operator=(const WriteGate&) = delete;

    // Recursive, like the sections beneath: a holder may write through it.
    void Enter() ACQUIRE() { platform::SectionEnter(&section_); }
    // Enters when no other thread is inside; false at once otherwise.
    bool TryEnter() TRY_ACQUIRE(true) { return platform::SectionTryEnter(&section_); }
    void Leave() RELEASE() { platform::SectionLeave(&section_); }
    // In a child process just forked: open, whoever held it; the cut as
    // the parent knew it at the fork.
    void ReinitAfterFork() { platform::SectionReinitAfterFork(&section_); }

    // True while the file ends inside a line that a write cut short: the
    // next bytes written start with a line end.
    bool Cut() const REQUIRES(this) { return cut_; }
    void SetCut(bool cut) REQUIRES(this) { cut_ = cut; }
    // A new file: nothing to end.
    void Reset() REQUIRES(this) { cut_ = false; }

  private:
    platform::SectionStorage section_;
    bool cut_ GUARDED_BY(this) = false;
};

// Holds a gate for a scope.
class SCOPED_CAPABILITY WriteGateHold {
  public:
    explicit WriteGateHold(WriteGate& gate) ACQUIRE(gate) : gate_(gate) { gate_.Enter(); }
    ~WriteGateHold() RELEASE() { gate_.Leave(); }
    WriteGateHold(const WriteGateHold&) = delete;
    WriteGateHold& operator=(const WriteGateHold&) = delete;

  private:
    WriteGate& gate_;
};

}  // namespace vosk
