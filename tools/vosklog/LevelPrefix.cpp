#include "LevelPrefix.h"

namespace vosklog {

size_t ParseLevelPrefix(const char* line, size_t length, int32_t* level) {
    if (length < 3 || line[0] != '<') {
        return 0;
    }
    size_t i = 1;
    const bool negative = line[i] == '-';
    if (negative) {
        ++i;
    }
    const size_t firstDigit = i;
    // Counted towards the negative side, which holds one more value.
    int64_t value = 0;
    for (; i < length && line[i] >= '0' && line[i] <= '9'; ++i) {
        value = value * 10 - (line[i] - '0');
        if (value < INT32_MIN) {
            return 0;
        }
    }
    if (i == firstDigit || i >= length || line[i] != '>') {
        return 0;
    }
    if (!negative) {
        if (value < -INT32_MAX) {
            return 0;
        }
        value = -value;
    }
    *level = static_cast<int32_t>(value);
    return i + 1;
}

}  // namespace vosklog
