// What a prune of a log's archive deleted, and why: for the host to be
// told of it (a record in the log, a line on a console).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vosk {

// The disk's use when a disk prune ran, and its limit, both per mille.
struct DiskUse {
    int32_t usedPerMille = 0;
    int32_t limitPerMille = 0;
};

enum class PruneReason {
    kAge,   // a day folder older than the days kept
    kDisk,  // the disk fuller than its limit
};

// One folder the prune deleted in, or one file on its own.
struct PrunedEntry {
    // Relative to the log's directory, '/'-separated:
    // "logfiles-2026/01/2026-01-02", or "logfiles-2026/stray.txt".
    std::string path;
    // Everything but directories (links included, whatever their names),
    // in the folder and below it.
    int64_t files = 0;
    // The sizes of the plain files among them.
    int64_t bytes = 0;
    // The folder itself went too (it was emptied).
    bool removed = false;
};

struct PruneReport {
    PruneReason reason = PruneReason::kAge;
    // For kDisk: the use that set the prune off.
    DiskUse disk;
    // For kAge: the days kept.
    int32_t keepDays = 0;
    // In the order deleted; empty when nothing was.
    std::vector<PrunedEntry> entries;

    int64_t Files() const {
        int64_t n = 0;
        for (const PrunedEntry& e : entries) {
            n += e.files;
        }
        return n;
    }
};

}  // namespace vosk
