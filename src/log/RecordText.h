// The one way a record is made, wherever it is stored: its head (the stamp,
// or the indent of raw text), its message, and a line feed unless the
// message ends with one. Made into the log's stream under the lock while one
// writer uses the log, or into the caller's own buffer before the lock is
// taken while several do; either way the same bytes.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "text/TextBuffer.h"

namespace vosk {

struct RecordCount {
    // Characters stored (a failed step stores none).
    int64_t count = 0;
    // False when part of the message could not be stored.
    bool whole = true;

    void Add(int32_t stored) {
        if (stored > 0) {
            count += stored;
        }
    }
};

// A record of a printf-style message. errno is the caller's when the
// format engine starts (for %m) and when this returns.
RecordCount MakeFormattedRecord(TextBuffer& out, const char* head, int32_t headLength,
                                const char* format, va_list args, int callerErrno);

// A record of length bytes of data as they stand.
RecordCount MakeDataRecord(TextBuffer& out, const char* head, int32_t headLength, const char* data,
                           size_t length);

}  // namespace vosk
