// The latency mode: the cost of each call, not the mean. Every run is a
// fresh process writing 200,000 timed records of the float message into a
// fresh directory, 1 MiB per file, from 1 or 4 threads; the contenders
// (this library, spdlog's rotating sink flushed at every record, and the
// floor: snprintf and write under a mutex, a rename at the limit) take
// turns run by run in a shuffled order, and the table gives the medians
// over the repetitions.
#pragma once

#include <string>

namespace bench {

// In the parent: runs reps rounds of every setting and contender and
// prints the table on stdout. The exit status.
int RunLatency(int reps);

// In the child: run is "<contender>:<threads>:<archive 0|1>"; prints one
// line "result <p50> <p99> <p99.9> <p99.99> <max> <rotating call median>
// <rotations>" (nanoseconds) or "error <reason>". The exit status.
int RunLatencyChild(const std::string& run);

}  // namespace bench
