#include "log/RecordText.h"

#include <algorithm>
#include <cerrno>

namespace vosk {

namespace {

// message(out, &result) stores the message and adds its count; it sets
// result.whole false when part of it could not be stored, and the line
// end is then left off.
template <class Message>
RecordCount MakeRecord(TextBuffer& out, const char* head, int32_t headLength, Message&& message) {
    RecordCount result;
    result.Add(out.Write(head, headLength));
    message(out, &result);
    if (result.whole && out.LastChar() != '\n') {
        result.Add(out.PutCounted('\n'));
    }
    return result;
}

}  // namespace

RecordCount MakeFormattedRecord(TextBuffer& out, const char* head, int32_t headLength,
                                const char* format, va_list args, int callerErrno) {
    RecordCount made = MakeRecord(out, head, headLength, [&](TextBuffer& to, RecordCount* result) {
        errno = callerErrno;
        result->Add(to.AppendFormatV(format, args));
    });
    errno = callerErrno;
    return made;
}

RecordCount MakeDataRecord(TextBuffer& out, const char* head, int32_t headLength, const char* data,
                           size_t length) {
    return MakeRecord(out, head, headLength, [&](TextBuffer& to, RecordCount* result) {
        // Write takes at most a 32-bit count at a time.
        for (size_t done = 0; done < length;) {
            const int32_t piece = static_cast<int32_t>(std::min<size_t>(length - done, INT32_MAX));
            const int32_t stored = to.Write(data + done, piece);
            result->Add(stored);
            if (stored != piece) {
                result->whole = false;
                return;
            }
            done += static_cast<size_t>(piece);
        }
    });
}

}  // namespace vosk
