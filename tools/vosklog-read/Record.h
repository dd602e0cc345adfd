// One record as the log wrote it: its stamped line with the lines that
// continue it (raw text, a message's own line feeds), and its instant.
#pragma once

#include <cstdint>
#include <string>

namespace vosklogread {

struct Record {
    std::string text;    // as written, line ends included
    int64_t timeMs = 0;  // milliseconds since 1970; unstamped text takes the last stamp's
};

}  // namespace vosklogread
