#include "log/RecordGap.h"

#include <cstdarg>

namespace vosk {

namespace {

// A formatted record of the arguments, %m being the text of error.
RecordCount MakeRecord(TextBuffer& out, const char* head, int32_t headLength, int error,
                       const char* format, ...) {
    va_list args;
    va_start(args, format);
    const RecordCount made = MakeFormattedRecord(out, head, headLength, format, args, error);
    va_end(args);
    return made;
}

#define VOSK_GAP_COUNT "%llu %s not written since "
#define VOSK_GAP_DATE "%04u-%02u-%02u "
#define VOSK_GAP_TIME "%02u:%02u:%02u.%03u: "
// [with date][with error]. Without an error nothing was open to write to
// and no open said why (a calendar that failed).
const char* const kFormats[2][2] = {
    {VOSK_GAP_COUNT VOSK_GAP_TIME "no file open", VOSK_GAP_COUNT VOSK_GAP_TIME "%m"},
    {VOSK_GAP_COUNT VOSK_GAP_DATE VOSK_GAP_TIME "no file open",
     VOSK_GAP_COUNT VOSK_GAP_DATE VOSK_GAP_TIME "%m"},
};
#undef VOSK_GAP_COUNT
#undef VOSK_GAP_DATE
#undef VOSK_GAP_TIME

}  // namespace

RecordCount RecordGap::Make(TextBuffer& out, const char* head, int32_t headLength,
                            const platform::LocalTime& now) const {
    const unsigned long long count = count_;
    const char* records = count_ == 1 ? "record" : "records";
    const unsigned hour = since_.hour;
    const unsigned minute = since_.minute;
    const unsigned second = since_.second;
    const unsigned ms = since_.milliseconds;
    const int withError = error_ != 0 ? 1 : 0;
    if (since_.year == now.year && since_.month == now.month && since_.day == now.day) {
        return MakeRecord(out, head, headLength, error_, kFormats[0][withError], count, records,
                          hour, minute, second, ms);
    }
    return MakeRecord(out, head, headLength, error_, kFormats[1][withError], count, records,
                      static_cast<unsigned>(since_.year), static_cast<unsigned>(since_.month),
                      static_cast<unsigned>(since_.day), hour, minute, second, ms);
}

}  // namespace vosk
