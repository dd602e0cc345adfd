// The level prefix of a line, as sd-daemon(3) and the kernel write it:
// "<N>" at the very start of the line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vosklog {

// The prefix's length, with its level in *level; 0 when the line has no
// such prefix (then *level is untouched). N is a decimal 32-bit integer,
// optionally negative; anything else between the brackets is no prefix.
size_t ParseLevelPrefix(const char* line, size_t length, int32_t* level);

}  // namespace vosklog
