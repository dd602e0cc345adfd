// The workloads, in the order of the table, and their registration.
#pragma once

#include <string>
#include <vector>

namespace bench {

enum class Unit {
    kNanoseconds,       // per record or call, lower is better
    kRecordsPerSecond,  // all threads together, higher is better
    kMilliseconds,      // lower is better
    kKilobytes,         // lower is better
    kRatio,             // to the floor, measured in alternating batches
};

struct Workload {
    const char* id;     // first part of the benchmark's name
    const char* title;  // the table's row
    Unit unit;
};

const std::vector<Workload>& Workloads();
const std::vector<const char*>& ContenderNames();

// Registers every workload for every contender that can run it; the
// library's rows are left out when it cannot be loaded.
void RegisterWorkloads(bool withLibrary);

// The value a run reports for its row, in the row's unit: from the
// benchmark's items per second, or from the probe's counter.
constexpr const char* kProbeCounter = "value";

}  // namespace bench
