// The records a log could not write since it last wrote one (a full disk,
// a quota, a file that cannot be opened, a write error), so that the next
// record it writes is preceded by one that says how many, since when and
// why:
//
//     [2026-12-11 05:41:09.480] 32290 records not written since 05:41:07.123: No space left on
//     device
//
// Kept under the log's lock: every failure is counted there, and the
// record that reports them is written there, so the count is exact
// whatever the number of writers.
#pragma once

#include <cstdint>

#include "log/RecordText.h"
#include "platform/Time.h"
#include "text/TextBuffer.h"

namespace vosk {

class RecordGap {
  public:
    // Off: nothing is counted and what was counted is forgotten.
    void SetOn(bool on) {
        on_ = on;
        if (!on) {
            Clear();
        }
    }
    bool On() const { return on_; }

    // One record not written: at is its stamp, error the errno of the
    // failure. The first of a gap gives its start and its cause.
    void Missed(const platform::LocalTime& at, int error) {
        if (!on_) {
            return;
        }
        if (count_ == 0) {
            since_ = at;
            error_ = error;
        }
        ++count_;
    }
    uint64_t Count() const { return count_; }
    // The gap record, head given, into out: "N records not written since
    // hh:mm:ss.mmm: <the error's text>" and a line end. The date goes
    // before the time when it is not the date of now, the stamp of the
    // record being written.
    RecordCount Make(TextBuffer& out, const char* head, int32_t headLength,
                     const platform::LocalTime& now) const;
    // Once the gap record is written.
    void Clear() { count_ = 0; }

  private:
    bool on_ = true;
    uint64_t count_ = 0;
    platform::LocalTime since_{};
    int error_ = 0;
};

}  // namespace vosk
