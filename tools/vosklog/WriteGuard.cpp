#include "WriteGuard.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace vosklog {

namespace {

std::string Seconds(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

}  // namespace

WriteGuard::WriteGuard(std::string file, bool dropWhenFull, World world)
    : file_(std::move(file)), dropWhenFull_(dropWhenFull), world_(std::move(world)) {}

void WriteGuard::Begin(const vosk::WriteResult& failure) {
    inEpisode_ = true;
    episodeStartMs_ = world_.monotonicMs();
    episodeDropped_ = 0;
    const char* what =
        failure.status == vosk::WriteResult::kNotOpened ? "cannot open " : "cannot write to ";
    std::string line =
        std::string("vosklog: ") + what + file_ + ": " + std::strerror(failure.error) + "; ";
    line += dropWhenFull_ ? "dropping lines until it can (--drop-when-full)"
                          : "holding the line and reading no more input until it can";
    world_.report(line);
}

void WriteGuard::End() {
    inEpisode_ = false;
    const std::string lasted = Seconds(world_.monotonicMs() - episodeStartMs_);
    if (dropWhenFull_) {
        world_.report("vosklog: " + file_ + " written again after " + lasted + "; " +
                      std::to_string(episodeDropped_) + " lines dropped meanwhile");
    } else {
        world_.report("vosklog: " + file_ + " written again; input was held for " + lasted);
    }
}

void WriteGuard::Write(const std::function<vosk::WriteResult()>& attempt) {
    if (givenUp_) {
        ++unwritten_;
        return;
    }
    vosk::WriteResult result = attempt();
    if (!result.Failed()) {
        if (inEpisode_) {
            End();
        }
        return;
    }
    if (!inEpisode_) {
        Begin(result);
    }
    if (dropWhenFull_) {
        ++dropped_;
        ++episodeDropped_;
        return;
    }
    int waitMs = kFirstWaitMs;
    for (;;) {
        if (world_.stopRequested()) {
            // One more try, then the line and all behind it stay unwritten.
            if (!attempt().Failed()) {
                End();
                return;
            }
            givenUp_ = true;
            ++unwritten_;
            return;
        }
        world_.wait(waitMs);
        world_.takeRequests();
        waitMs = std::min(waitMs * 2, kLastWaitMs);
        if (world_.stopRequested()) {
            continue;
        }
        if (!attempt().Failed()) {
            End();
            return;
        }
    }
}

void WriteGuard::Finish() {
    if (dropWhenFull_ && dropped_ != 0) {
        std::string line =
            "vosklog: " + std::to_string(dropped_) + " lines dropped in all (--drop-when-full)";
        if (inEpisode_) {
            line += "; " + file_ + " still cannot be written";
        }
        world_.report(line);
    }
}

}  // namespace vosklog
