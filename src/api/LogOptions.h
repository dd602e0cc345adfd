// The options a log takes through SL_SetLogOption: one table, one entry per
// option, so that an option is added in one place.
#pragma once

#include <cstdint>

namespace vosk {

class Log;

// What setting an option came to (SL_SetLogOption's results).
enum class OptionResult : int32_t {
    kSet = 0,
    kNoLog = -1,
    kUnknownOption = -2,
    kBadValue = -3,
};

// Sets option to value on log; nothing changes unless the result is kSet.
OptionResult SetLogOption(Log* log, int32_t option, int32_t value);

}  // namespace vosk
