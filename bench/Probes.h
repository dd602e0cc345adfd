// Measurements made in a fresh child process each, so that nothing the
// other workloads left in the heap or the loader hides or adds to them.
#pragma once

#include <string>

namespace bench {

enum class Probe {
    kMemory,  // resident bytes per idle log, 1000 logs after one record each
    kUnload,  // milliseconds to tear down 10 logs (dlclose for the library)
};

// In the child: measures, prints "value <number>" or "error <reason>" and
// returns the exit status.
int RunProbe(Probe probe, const std::string& contender);

// In the parent: starts this program as such a child and parses its line.
// False, with the reason in error, when the child reported none.
bool SpawnProbe(Probe probe, const std::string& contender, double* value, std::string* error);

const char* ProbeName(Probe probe);
bool ParseProbe(const std::string& name, Probe* probe);

}  // namespace bench
