// Benchmarks this library against the write-through floor, spdlog and
// fprintf, and prints one table of medians. Options of its own:
//   --library=PATH   the built libVOSK_Log.so (default: the one built with it)
//   --dir=PATH       where the log files go (default: bench-files beside
//                    this program, in the build tree: a real disk, not tmpfs)
//   --latency[=N]    instead of the throughput table, the latency table
//                    (see Latency.h) with N runs of each (default 5)
// Every other option goes to the benchmark library (--benchmark_filter=...).
#include <benchmark/benchmark.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Common.h"
#include "Latency.h"
#include "Library.h"
#include "Probes.h"
#include "TableReporter.h"
#include "Workloads.h"

namespace {

// Repetitions make the medians; random interleaving spreads any drift of the
// machine over all contenders alike.
const char* const kDefaults[] = {
    "--benchmark_repetitions=7",
    "--benchmark_min_time=0.2",
    "--benchmark_report_aggregates_only=true",
    "--benchmark_enable_random_interleaving=true",
};

bool TakeOption(const char* arg, const char* name, std::string* value) {
    size_t n = strlen(name);
    if (strncmp(arg, name, n) != 0 || arg[n] != '=') {
        return false;
    }
    *value = arg + n + 1;
    return true;
}

std::string ProgramDirectory() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) {
        return ".";
    }
    path[n] = '\0';
    char* slash = strrchr(path, '/');
    if (slash != nullptr) {
        *slash = '\0';
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    std::string directory;
    std::string probe;
    std::string contender;
    std::string library;
    std::string latency;
    std::string latencyChild;
    std::vector<char*> rest = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--latency") == 0) {
            latency.assign(1, '5');
        } else if (!TakeOption(argv[i], "--dir", &directory) &&
                   !TakeOption(argv[i], "--probe", &probe) &&
                   !TakeOption(argv[i], "--contender", &contender) &&
                   !TakeOption(argv[i], "--library", &library) &&
                   !TakeOption(argv[i], "--latency", &latency) &&
                   !TakeOption(argv[i], "--latency-child", &latencyChild)) {
            rest.push_back(argv[i]);
        }
    }
    if (!library.empty()) {
        bench::SetLibraryPath(library);
    }
    if (directory.empty()) {
        directory = ProgramDirectory() + "/bench-files";
    }
    if (!bench::SetWorkDirectory(directory)) {
        fprintf(stderr, "cannot create a directory below %s\n", directory.c_str());
        return 1;
    }

    if (!probe.empty()) {
        bench::Probe which;
        if (!bench::ParseProbe(probe, &which)) {
            fprintf(stderr, "unknown probe %s\n", probe.c_str());
            return 1;
        }
        return bench::RunProbe(which, contender);
    }
    if (!latencyChild.empty()) {
        const int status = bench::RunLatencyChild(latencyChild);
        bench::RemoveWorkDirectory();
        return status;
    }
    if (!latency.empty()) {
        const int reps = atoi(latency.c_str());
        const int status = bench::RunLatency(reps > 0 ? reps : 5);
        bench::RemoveWorkDirectory();
        return status;
    }

    struct statfs fs;
    if (statfs(bench::WorkDirectory().c_str(), &fs) == 0 && fs.f_type == TMPFS_MAGIC) {
        fprintf(stderr, "warning: %s is on tmpfs; the floor is not a disk's\n",
                bench::WorkDirectory().c_str());
    }

    // Defaults first, so that options given on the command line win.
    std::vector<char*> args = {rest[0]};
    for (const char* option : kDefaults) {
        args.push_back(const_cast<char*>(option));
    }
    args.insert(args.end(), rest.begin() + 1, rest.end());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 1;
    }

    std::string error;
    bool withLibrary = bench::VoskLibrary::Shared().Load(bench::VoskLibrary::DefaultPath(), &error);
    if (!withLibrary) {
        fprintf(stderr, "warning: the library is left out: %s\n", error.c_str());
    }
    bench::RegisterWorkloads(withLibrary);

    bench::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    bench::RemoveWorkDirectory();
    return 0;
}
