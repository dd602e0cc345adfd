#include "api/LogOptions.h"

#include "VOSK_Log.h"
#include "log/Log.h"

namespace vosk {

namespace {

static_assert(static_cast<int>(StampForm::kLocal) == SL_STAMP_LOCAL &&
                  static_cast<int>(StampForm::kLocalOffset) == SL_STAMP_LOCAL_OFFSET &&
                  static_cast<int>(StampForm::kUtc) == SL_STAMP_UTC,
              "stamp forms are the header's numbers");

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
    {SL_OPTION_COMPRESS, [](int32_t on) { return on == 0 || on == 1; },
     [](Log& log, int32_t on) { log.SetCompress(on == 1); }},
    {SL_OPTION_STAMP, [](int32_t form) { return form >= SL_STAMP_LOCAL && form <= SL_STAMP_UTC; },
     [](Log& log, int32_t form) { log.SetStampForm(static_cast<StampForm>(form)); }},
    {SL_OPTION_GAP_RECORDS, [](int32_t on) { return on == 0 || on == 1; },
     [](Log& log, int32_t on) { log.SetGapRecords(on != 0); }},
    {SL_OPTION_PRUNE_RECORDS, [](int32_t on) { return on == 0 || on == 1; },
     [](Log& log, int32_t on) { log.SetPruneRecords(on != 0); }},
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
