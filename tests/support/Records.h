// Records that reliability tests and their host programs write: the
// message "t<thread> n<number> <payload>", where the payload's length and
// letters follow from both numbers, so that a record cut short, two records
// run together or a line from another writer all show. No test framework
// here: host programs include it too.
#pragma once

#include <cstdio>
#include <string>

namespace vosk::test {

// The printf format that writes a record: thread, number, payload.
constexpr const char* kRecordFormat = "t%d n%d %s";

// Threads numbered from here on write long records often (the crash host's
// threads: a kill then often falls between the writes of one record).
constexpr int kLongRecordThreads = 100;

// Mostly short payloads; every 997th (every 5th for the threads above) is
// longer than a FileStream's buffer, so that it leaves in more than one write.
inline std::string Payload(int thread, int number) {
    size_t length = static_cast<size_t>((number * 7 + thread) % 61);
    if (thread >= kLongRecordThreads ? number % 5 == 4 : number % 997 == 996) {
        length = thread >= kLongRecordThreads ? 20000 : 9000;
    }
    return std::string(length, static_cast<char>('a' + (thread * 3 + number) % 26));
}

struct Record {
    int thread = -1;
    int number = -1;
};

// The message kRecordFormat gives for a record.
inline std::string RecordMessage(const Record& r) {
    char head[64];
    std::snprintf(head, sizeof(head), "t%d n%d ", r.thread, r.number);
    return head + Payload(r.thread, r.number);
}

}  // namespace vosk::test
