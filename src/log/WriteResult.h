// What became of one record: for a caller that keeps a record it could not
// write and tries it again (the library's exports do not).
#pragma once

namespace vosk {

struct WriteResult {
    enum Status {
        kWritten,
        // Above the threshold, or the log closed: not meant to be written.
        kSkipped,
        // No file to write to: it could not be opened (error says why).
        kNotOpened,
        // The write failed (error says why); nothing of the record stays
        // in the file when the log takes failed records back.
        kNotWritten,
    };
    Status status = kWritten;
    int error = 0;  // errno of the failed open or write

    bool Failed() const { return status == kNotOpened || status == kNotWritten; }
};

}  // namespace vosk
