#include "api/LogOptions.h"

#include "VOSK_Log.h"
#include "log/Log.h"

namespace vosk {

namespace {

struct LogOption {
    int32_t option;
    bool (*takes)(int32_t value);
    void (*apply)(Log& log, int32_t value);
};

// Keyed by the header's numbers; an option the library drops later keeps
// its number unused.
const LogOption kOptions[] = {
    {SL_OPTION_ARCHIVE_DAYS, [](int32_t days) { return days >= 0; },
     [](Log& log, int32_t days) { log.SetArchive(days); }},
};

}  // namespace

OptionResult SetLogOption(Log* log, int32_t option, int32_t value) {
    if (log == nullptr) {
        return OptionResult::kNoLog;
    }
    for (const LogOption& entry : kOptions) {
        if (entry.option == option) {
            if (!entry.takes(value)) {
                return OptionResult::kBadValue;
            }
            entry.apply(*log, value);
            return OptionResult::kSet;
        }
    }
    return OptionResult::kUnknownOption;
}

}  // namespace vosk
