// What vosklog does when a line cannot be written (a full disk, a file
// that cannot be opened): by default it keeps the line and tries it again,
// waiting longer each time up to about a second, and reads nothing more
// meanwhile, so that the writer of the pipe waits too; with
// --drop-when-full it drops the line and counts it. One warning when such
// an episode starts, one line when it ends, both on standard error.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "log/WriteResult.h"

namespace vosklog {

class WriteGuard {
  public:
    // The waits between tries: from the first to the last, doubling.
    static constexpr int kFirstWaitMs = 10;
    static constexpr int kLastWaitMs = 1000;

    // What the guard needs of the world, replaceable in tests.
    struct World {
        std::function<int64_t()> monotonicMs;
        // Waits up to ms; returns early when a stop or another request came.
        std::function<void(int ms)> wait;
        // Handles requests that came (a reopen may be what mends the file).
        std::function<void()> takeRequests;
        std::function<bool()> stopRequested;
        std::function<void(const std::string& line)> report;
    };

    WriteGuard(std::string file, bool dropWhenFull, World world);

    // Writes one line through attempt, as often as it takes: until it is
    // written, dropped (--drop-when-full) or, after a stop, tried once more
    // in vain. From then on every line is counted as not written, untried,
    // so that none is written out of order.
    void Write(const std::function<vosk::WriteResult()>& attempt);

    // Lines not written because of a stop during an episode.
    uint64_t Unwritten() const { return unwritten_; }
    // Lines dropped with --drop-when-full, in all.
    uint64_t Dropped() const { return dropped_; }
    // At the end: reports what was dropped, or that the last episode was
    // still under way.
    void Finish();

  private:
    void Begin(const vosk::WriteResult& failure);
    void End();

    std::string file_;
    bool dropWhenFull_;
    World world_;
    bool inEpisode_ = false;
    bool givenUp_ = false;
    int64_t episodeStartMs_ = 0;
    uint64_t episodeDropped_ = 0;
    uint64_t dropped_ = 0;
    uint64_t unwritten_ = 0;
};

}  // namespace vosklog
