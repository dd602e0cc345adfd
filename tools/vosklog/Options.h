// The command line of vosklog.
#pragma once

#include <cstdint>
#include <string>

namespace vosklog {

struct Options {
    std::string directory = ".";  // as given; relative to the current directory
    std::string name;
    bool sizeLimitSet = false;
    int32_t sizeLimit = 0;
    int32_t level = 0;
    bool raw = false;
    bool tee = false;
    bool diskLimitSet = false;
    uint32_t diskLimit = 0;
    int32_t keepDays = 0;  // 0: no day archive
    bool dryRun = false;
    bool dropWhenFull = false;
    std::string onRotate;  // empty: no command
};

enum class ParseResult { kRun, kHelp, kVersion, kError };

// kError with a message for the user in *error; *options is then partly set.
ParseResult ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);

// A size with an optional K, M or G suffix (powers of 1024, either case);
// false when it is no such size or does not fit 31 bits.
bool ParseSize(const std::string& text, int32_t* size);

// The text printed for --help.
const char* Usage();
// The line printed for --version.
std::string VersionLine();

}  // namespace vosklog
