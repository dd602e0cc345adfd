// Writes the float record a given number of times through the library's
// exports, loaded as a host loads it, and nothing else: for counting the
// user-space instructions of one record with callgrind (scripts/bench
// --instructions runs it at two counts and divides the difference, so that
// loading and the first record drop out). "floor" writes a line made
// beforehand instead, one write() per record, as the benchmark's floor.
//
//   record_loop vosk|floor COUNT DIRECTORY [LIBRARY]
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "VOSK_Log.h"

namespace {

constexpr char kFloatMessage[] = "worker %d processed item %d in %.3f ms";

int Usage() {
    std::fprintf(stderr, "usage: record_loop vosk|floor COUNT DIRECTORY [LIBRARY]\n");
    return 2;
}

int Vosk(long count, const char* directory, const char* library) {
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    auto create = reinterpret_cast<decltype(&SL_CreateLog)>(dlsym(handle, "SL_CreateLog"));
    auto trace = reinterpret_cast<decltype(&SL_TraceLog)>(dlsym(handle, "SL_TraceLog"));
    if (create == nullptr || trace == nullptr) {
        std::fprintf(stderr, "%s: exports missing\n", library);
        return 1;
    }
    // A limit no run reaches: no rotation among the records counted.
    LogHandle log = create(directory, "count.log", 1 << 30, 5);
    if (log == nullptr) {
        std::fprintf(stderr, "cannot create a log in %s\n", directory);
        return 1;
    }
    // The first record opens the file; it is in both counts alike.
    trace(log, 3, "first");
    for (long i = 0; i < count; ++i) {
        const int n = static_cast<int>(i);
        trace(log, 3, kFloatMessage, n & 7, n, n * 0.0371);
    }
    return 0;
}

int Floor(long count, const char* directory) {
    const std::string path = std::string(directory) + "/floor.log";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        return 1;
    }
    char line[128];
    const int length = std::snprintf(line, sizeof line, "[2026-12-11 10:27:20.123] %s\n",
                                     "worker 3 processed item 123456 in 4580.218 ms");
    for (long i = 0; i < count; ++i) {
        if (write(fd, line, static_cast<size_t>(length)) < 0) {
            return 1;
        }
    }
    close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return Usage();
    }
    const long count = std::atol(argv[2]);
    if (std::strcmp(argv[1], "vosk") == 0) {
#ifdef VOSK_BENCH_LIBRARY
        const char* library = argc > 4 ? argv[4] : VOSK_BENCH_LIBRARY;
#else
        if (argc < 5) {
            return Usage();
        }
        const char* library = argv[4];
#endif
        return Vosk(count, argv[3], library);
    }
    if (std::strcmp(argv[1], "floor") == 0) {
        return Floor(count, argv[3]);
    }
    return Usage();
}
