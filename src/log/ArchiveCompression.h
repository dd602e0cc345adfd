// Compression of the day archive's files to gzip, done by the maintenance
// thread, never by a writer. Crash-safe: at every moment the archived file
// is there whole, plain or compressed. "<name>.gz.tmp" is written and
// synced to the disk first, then renamed to "<name>.gz" without replacing
// anything, and only then is the plain file deleted. What a stop between
// these steps leaves (a ".tmp", or the plain file beside its ".gz") is
// finished by the next pass: the ".tmp" deleted, the plain file compressed
// again, or deleted when its ".gz" is there (a ".gz" is only ever made
// from a whole ".tmp").
#pragma once

#include <cstdint>

#include "platform/HeldDirectory.h"

namespace vosk {

enum class CompressStep { kTemporaryWritten, kRenamed };

// For tests: returns true to stop after step, as a crash there would.
using CompressStop = bool (*)(CompressStep step);

enum class CompressResult {
    kCompressed,  // "<name>.gz" there, the plain file gone
    kChanged,     // written to meanwhile: left plain for a later pass
    kFailed,      // left as it was (the ".tmp" removed)
    kStopped,     // the stop seam said so
    kNone,        // no plain file of that name
};

// Compresses the plain file name in day (a day folder held) as above. A
// file written to while it is read is left for later. bytesIn/bytesOut:
// the sizes, when compressed now (may be null).
CompressResult CompressArchived(const platform::HeldDirectory* day, const char* name,
                                CompressStop stop = nullptr, int64_t* bytesIn = nullptr,
                                int64_t* bytesOut = nullptr);

// True for the names a log called base gives its archived files:
// "<base>.YYYYMMDD-HHMMSS" with "-NNN" or "-mmmZ" or nothing after it.
bool IsArchivedName(const char* name, const char* base);

}  // namespace vosk
