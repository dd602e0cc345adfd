// The log that vosklog writes its lines to, on the library's core: a
// registry of its own with the maintenance thread, which flushes, rotates
// and prunes, each folder pruned told on standard error. Unlike the loaded
// library it purges nothing at start. A line that cannot be written goes
// to the WriteGuard; each move of the file to the --on-rotate command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "LineSplitter.h"
#include "LogSettings.h"
#include "PruneReporter.h"
#include "RotateHook.h"
#include "WriteGuard.h"

namespace vosk {
class Log;
class LogRegistry;
}  // namespace vosk

namespace vosklog {

class PipeLog {
  public:
    PipeLog(const Options& options, const std::string& file);
    // Writes out what is pending and closes the file.
    ~PipeLog();
    PipeLog(const PipeLog&) = delete;
    PipeLog& operator=(const PipeLog&) = delete;

    // False, with a message, when the log cannot be set up.
    bool Open(const LogSettings& settings, std::string* error);

    // One line, or piece of one, without its end: a record at the level
    // of the line's "<N>" prefix (0 without one), a piece after the first
    // marked as the line's continuation; and with --tee the piece and its
    // end, as read, on standard output.
    void WriteLine(const LinePiece& piece);
    // Handles the requests that came (platform::TakeRequests): reopen the
    // file, rotate it now.
    void TakeRequests();
    // Reports what the end finds: lines dropped, a command still running.
    void Finish();

    // Lines not written because of a stop while they could not be.
    uint64_t Unwritten() const { return guard_.Unwritten(); }

  private:
    // Before the registry: its thread tells of prunes and moves until it
    // ends, so both outlive it.
    std::unique_ptr<PruneReporter> pruneReporter_;
    std::unique_ptr<RotateHook> hook_;
    std::unique_ptr<vosk::LogRegistry> registry_;
    vosk::Log* log_ = nullptr;  // owned by the registry
    bool raw_;
    bool tee_;
    // The level of the line whose pieces are being written.
    int32_t lineLevel_ = 0;
    WriteGuard guard_;
};

}  // namespace vosklog
