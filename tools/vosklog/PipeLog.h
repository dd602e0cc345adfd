// The log that vosklog writes its lines to, on the library's core: a
// registry of its own with the maintenance thread, which flushes, rotates
// and prunes. Unlike the loaded library it purges nothing at start.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "LogSettings.h"

namespace vosk {
class Log;
class LogRegistry;
}  // namespace vosk

namespace vosklog {

class PipeLog {
  public:
    PipeLog(bool raw, bool tee);
    // Writes out what is pending and closes the file.
    ~PipeLog();
    PipeLog(const PipeLog&) = delete;
    PipeLog& operator=(const PipeLog&) = delete;

    // False, with a message, when the log cannot be set up.
    bool Open(const LogSettings& settings, std::string* error);

    // One line without its end, and the end as read right after it: a
    // record at the level of its "<N>" prefix (0 without one), and with
    // --tee the line and its end, as read, on standard output.
    void WriteLine(const char* line, size_t length, size_t endLength);

  private:
    std::unique_ptr<vosk::LogRegistry> registry_;
    vosk::Log* log_ = nullptr;  // owned by the registry
    bool raw_;
    bool tee_;
};

}  // namespace vosklog
