// What every contender shares: the message, the stamp, where files go.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

// The message of every record: 70 characters once the number is rendered
// with four digits, 97 with the stamp and the line end. Each contender gets
// it in its own format language.
constexpr char kPrintfMessage[] =
    "client %04d sent GET /api/v1/items?page=7&size=50, 512 bytes: accepted";
constexpr char kFmtMessage[] =
    "client {:04d} sent GET /api/v1/items?page=7&size=50, 512 bytes: accepted";
// The record most real log lines look like: three conversions, one of them a
// float. Its values come from the record's number (FloatValues), so that
// every contender writes the same text.
constexpr char kPrintfFloatMessage[] = "worker %d processed item %d in %.3f ms";
constexpr char kFmtFloatMessage[] = "worker {} processed item {} in {:.3f} ms";
struct FloatValues {
    int worker;
    int item;
    double ms;
};
inline FloatValues FloatValuesOf(int number) {
    return FloatValues{number & 7, number, number * 0.0371};
}

// Which of the two messages a workload writes.
enum class Message {
    kInteger,  // kPrintfMessage
    kFloat,    // kPrintfFloatMessage
};

// spdlog's rendering of the same stamp.
constexpr char kSpdlogPattern[] = "[%Y-%m-%d %H:%M:%S.%e] %v";
// Raw text goes out after this many blanks, as the library indents it.
constexpr int kRawIndent = 25;

constexpr int kLevelThreshold = 5;
constexpr int kLevelWritten = 3;
constexpr int kLevelDropped = 9;
// The smallest size limit the library accepts, used by the rotation workload.
constexpr long kRotationLimit = 1048576;

// Renders the stamp of the current local time into out (at least 32 bytes)
// with clock_gettime and localtime_r; returns its length.
int FormatStampNow(char* out);
// One whole record line of the given number, stamp included, with its "\n".
std::string FormattedLine(int number, Message message = Message::kInteger);

// The directory that all files go to; created by SetWorkDirectory.
const std::string& WorkDirectory();
// Makes a fresh directory below parent; false when it cannot.
bool SetWorkDirectory(const std::string& parent);
// Removes the work directory and everything in it.
void RemoveWorkDirectory();
// A file name not used before in this process: "<prefix>-<n>.log".
std::string NextFileName(const char* prefix);

// Resident bytes of this process (pages touched, not sizes allocated).
long ResidentBytes();

}  // namespace bench
