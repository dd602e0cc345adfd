// Reading back the records of support/Records.h from a log file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/Records.h"
#include "support/TempDir.h"

namespace vosk::test {

// The lines of a file's bytes without their line ends ("\n" or, where the
// runtime's text mode stores it, "\r\n"). endsWhole is false when the last
// line has no line end; that line is still returned.
struct FileLines {
    std::vector<std::string> lines;
    bool endsWhole = true;
};

inline FileLines SplitLines(const std::string& bytes) {
    FileLines out;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            out.lines.push_back(bytes.substr(start));
            out.endsWhole = false;
            break;
        }
        size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r' && NativeLineEnd() == "\r\n") {
            --stop;
        }
        out.lines.push_back(bytes.substr(start, stop - start));
        start = end + 1;
    }
    return out;
}

// Length of a record's stamp, "[YYYY-MM-DD hh:mm:ss.mmm] ".
constexpr size_t kStampLength = 26;

// True when the first n characters of line (n at most kStampLength) have
// the shape of a stamp.
inline bool StampShape(const std::string& line, size_t n) {
    static const char kShape[] = "[dddd-dd-dd dd:dd:dd.ddd] ";
    for (size_t i = 0; i < n; ++i) {
        char c = line[i];
        if (kShape[i] == 'd' ? (c < '0' || c > '9') : c != kShape[i]) {
            return false;
        }
    }
    return true;
}

// True when the line is a whole record as the library writes it: a stamp,
// then exactly the message for its numbers.
inline bool ParseRecord(const std::string& line, Record* out) {
    if (line.size() < kStampLength || !StampShape(line, kStampLength)) {
        return false;
    }
    Record r;
    if (std::sscanf(line.c_str() + kStampLength, "t%d n%d ", &r.thread, &r.number) != 2 ||
        r.thread < 0 || r.number < 0 ||
        line.compare(kStampLength, std::string::npos, RecordMessage(r)) != 0) {
        return false;
    }
    *out = r;
    return true;
}

// True when the line could be the beginning of the given record: what a
// write cut short by a crash or a full disk leaves behind.
inline bool IsRecordPrefix(const std::string& line, const Record& r) {
    if (line.size() <= kStampLength) {
        return StampShape(line, line.size());
    }
    std::string message = RecordMessage(r);
    size_t rest = line.size() - kStampLength;
    return StampShape(line, kStampLength) && rest <= message.size() &&
           line.compare(kStampLength, rest, message, 0, rest) == 0;
}

}  // namespace vosk::test
