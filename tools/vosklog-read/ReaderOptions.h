// The command line of vosklog-read.
#pragma once

#include <cstdint>
#include <string>

namespace vosklogread {

struct ReaderOptions {
    std::string directory = ".";
    std::string name;
    std::string since;  // as given; empty: from the first record
    std::string until;  // as given; empty: to the last
    int64_t windowMs = 1000;
    bool follow = false;
};

enum class ParseResult { kRun, kHelp, kVersion, kError };

ParseResult ParseReaderOptions(int argc, const char* const* argv, ReaderOptions* options,
                               std::string* error);

const char* ReaderUsage();
std::string ReaderVersionLine();

}  // namespace vosklogread
