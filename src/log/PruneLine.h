// The line that tells of one folder a prune deleted in, for a record of
// the log and for a console:
//
//     pruned logfiles-2026/12/2026-12-01: 3 files, 1048576 bytes, folder removed: older than 7 days
//     pruned logfiles-2026/12/2026-12-11: 21 files, 2202009 bytes, folder stays: disk at 912 per
//     mille, over its limit of 900
//
// Read from its end: the reason follows the last ": ", the counts the one
// before. A byte below 0x20 (a line end in a folder's name) or 0x7f is
// written as \xNN, so the line stays one line.
#pragma once

#include <string>

#include "log/PruneReport.h"

namespace vosk {

// The line for entry of report; its path goes after directory and a '/'
// when directory is given (null or empty: relative to the log's directory).
std::string PruneLine(const PruneReport& report, const PrunedEntry& entry,
                      const char* directory = nullptr);

}  // namespace vosk
