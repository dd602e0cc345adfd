// --on-rotate: a command run after each move of the log's file out of the
// way, with the path it moved to. The log tells of a move under its lock;
// the command starts after the write that moved it, beside vosklog, which
// goes on writing lines while it runs. One runs at a time: a move while it
// still runs is reported and gets no run of its own. How a run ended is
// reported when vosklog next looks (at every line and request, and at the
// end).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "log/RotationListener.h"
#include "platform/Process.h"

namespace vosklog {

class RotateHook : public vosk::RotationListener {
  public:
    using Report = std::function<void(const std::string& line)>;

    RotateHook(std::string command, Report report);

    // Under the log's lock: notes the path only.
    void OnRotated(const char* movedTo) override;

    // Outside the lock: reports a command that ended and starts one for
    // each move noted meanwhile (or reports it skipped).
    void Run();
    // At the end a command still running gets this long to end; then it
    // is reported and left to run.
    static constexpr int kEndGraceMs = 2000;
    // At the end: waits for a running command up to kEndGraceMs, polling
    // with wait(ms), and reports how it ended or that it is left to run.
    void Finish(const std::function<void(int ms)>& wait);

    // Runs started and moves skipped, so far.
    uint64_t Started() const { return started_; }
    uint64_t Skipped() const { return skipped_; }

  private:
    void Reap();

    std::string command_;
    Report report_;
    // Filled under the log's lock by whichever thread moved the file.
    std::mutex movesLock_;
    std::vector<std::string> moves_;
    vosk::platform::ChildProcess child_;
    std::string childPath_;
    uint64_t started_ = 0;
    uint64_t skipped_ = 0;
};

}  // namespace vosklog
