// What vosklog's options come to once the library has had its say: the
// absolute paths of the file and its backup and the clamped limits.
#pragma once

#include <cstdint>
#include <string>

#include "Options.h"

namespace vosklog {

struct LogSettings {
    std::string directory;  // absolute
    std::string name;
    std::string file;
    std::string backup;
    int32_t sizeLimit = 0;
    int32_t level = 0;
    int32_t diskLimit = 0;
    int32_t keepDays = 0;
    int32_t stamp = 0;  // SL_STAMP_*
    bool compress = false;
};

// The log never resolves a relative directory against the current
// directory (it takes the executable's), so the directory is made absolute
// here. False, with a message, when it cannot be.
bool ResolveSettings(const Options& options, LogSettings* settings, std::string* error);

// What the user is told when the log will not use the size asked for (a
// size below the floor is raised to it); empty when it uses it as given.
std::string SizeLimitNotice(const Options& options, const LogSettings& settings);

// The lines --dry-run prints.
std::string Describe(const LogSettings& settings);

// Creates the directory and its parents when missing; false, with a
// message, when it is not a directory afterwards.
bool PrepareDirectory(const std::string& directory, std::string* error);

}  // namespace vosklog
