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
    // Longest line written as one record, in bytes; 0: no longest line.
    int32_t maxLine = kDefaultMaxLine;
    int32_t stamp = 0;      // SL_STAMP_*: the library's stamp form
    bool compress = false;  // archived files compressed to gzip

    // As s6-log cuts its lines.
    static constexpr int32_t kDefaultMaxLine = 8192;
    // Room for the longest level prefix, "<-2147483648>", in a line's first
    // piece.
    static constexpr int32_t kLeastMaxLine = 16;
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
