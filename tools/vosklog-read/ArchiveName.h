// The names a log gives the files it keeps in its day archive:
//   <name>.YYYYMMDD-HHMMSS        local time (older logs)
//   <name>.YYYYMMDD-HHMMSS-NNN    local time, NNN-th name of that second
//   <name>.YYYYMMDD-HHMMSS-mmmZ   UTC, to the millisecond
// each perhaps compressed, with ".gz" added. Files still being made
// (".tmp") and anything else are not the log's.
#pragma once

#include <string>

#include "Stamp.h"

namespace vosklogread {

struct ArchiveName {
    Stamp time;        // Zone::kUtc for the UTC form, kNone for local ones
    int sequence = 0;  // NNN of the older form; 0 otherwise
    bool compressed = false;
    std::string plainName;  // the name without ".gz"
};

// Parses file, a name found in a day folder, as an archived file of the
// log whose file name (its last part) is base.
bool ParseArchiveName(const std::string& file, const std::string& base, ArchiveName* name);

}  // namespace vosklogread
