// The four ways of writing the same records, each behind the same small
// interface so that one workload template drives them all. Calls are not
// virtual: a workload is instantiated per contender.
//
// Every contender writes each record through to the operating system (one
// write per record, no fsync), except for raw text, which each buffers.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Common.h"
#include "Library.h"

namespace spdlog {
class logger;
}

namespace bench {

enum class Mode {
    kRecords,        // a stamped record per call, size limit out of reach
    kRotation,       // the same, starting a new file at every 1 MB
    kRaw,            // unstamped text, buffered
    kDropped,        // records below the threshold
    kBlockedBackup,  // records into a full file whose backup cannot be made
};

struct Setup {
    int logs = 1;
    Mode mode = Mode::kRecords;
    Message message = Message::kInteger;
};

// The floor: write() of a line formatted beforehand.
class Floor {
  public:
    static constexpr const char* kName = "floor";
    bool Open(const Setup& setup, std::string* error);
    void Record(int log, int number);
    void Raw(int log);
    void Dropped(int log, int number);
    void Close();

  private:
    void Reopen(int log);
    Setup setup_;
    std::vector<int> fds_;
    std::vector<std::string> paths_;
    std::vector<long> written_;
    std::string line_;
    std::string raw_;
};

// This library through its exports, loaded with dlopen.
class Vosk {
  public:
    static constexpr const char* kName = "vosk";
    bool Open(const Setup& setup, std::string* error);
    void Record(int log, int number) {
        if (message_ == Message::kFloat) {
            const FloatValues v = FloatValuesOf(number);
            api_.traceLog(logs_[log], kLevelWritten, kPrintfFloatMessage, v.worker, v.item, v.ms);
        } else {
            api_.traceLog(logs_[log], kLevelWritten, kPrintfMessage, number);
        }
    }
    void Raw(int log) { api_.write(logs_[log], raw_.c_str()); }
    void Dropped(int log, int number) {
        api_.traceLog(logs_[log], kLevelDropped, kPrintfMessage, number);
    }
    void Close();

  private:
    Message message_ = Message::kInteger;
    VoskApi api_;
    std::vector<LogHandle> logs_;
    std::vector<std::string> paths_;
    std::vector<std::string> blocked_;  // directories in the backups' place
    std::string raw_;
};

// spdlog's synchronous file sink, flushed after every record.
class Spdlog {
  public:
    static constexpr const char* kName = "spdlog";
    bool Open(const Setup& setup, std::string* error);
    void Record(int log, int number);
    void Raw(int log);
    void Dropped(int log, int number);
    void Close();

  private:
    Message message_ = Message::kInteger;
    std::vector<std::shared_ptr<spdlog::logger>> loggers_;
    std::vector<std::string> paths_;
    std::string raw_;
};

// fprintf of a stamp built by hand (clock_gettime, localtime_r), then fflush.
class Stdio {
  public:
    static constexpr const char* kName = "fprintf";
    bool Open(const Setup& setup, std::string* error);
    void Record(int log, int number);
    void Raw(int log);
    void Close();

  private:
    Setup setup_;
    std::vector<FILE*> files_;
    std::vector<std::string> paths_;
    std::vector<long> written_;
    std::string raw_;
};

// One record as the fprintf contender writes it; the count fprintf gives.
int StdioRecord(FILE* file, int number, Message message = Message::kInteger);
// The raw text every contender writes: the message, without stamp or line end.
std::string RawText();
// The file paths a contender leaves behind are removed when it closes.
void RemoveLogFiles(const std::vector<std::string>& paths);

}  // namespace bench
