// A host whose files the reader's tests read: it loads the library at run
// time, as users' hosts do, and reaches it through its exports only.
//
//   reader_host <library> <directory> <threads> <records per thread> [<pause ms>
//               [compress]]
//     The threads write records "t<k> n<i> ..." to one log, "app.log", of
//     the smallest size limit with the day archive on, so that the files
//     rotate often and every generation is kept. Every 50th record carries
//     a line feed of its own and a second line "  more of t<k> n<i>".
//     With a pause, each thread sleeps that long after every 100 records;
//     with "compress", the archived files are compressed (SL_OPTION_COMPRESS).
//     Exits with 0 once the log is destroyed and the library unloaded.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "VOSK_Log.h"

namespace {

struct Exports {
    decltype(&SL_CreateLog) create = nullptr;
    decltype(&SL_DestroyLog) destroy = nullptr;
    decltype(&SL_TraceLog) trace = nullptr;
    decltype(&SL_SetLogArchive) archive = nullptr;
    decltype(&SL_SetLogOption) option = nullptr;
};

template <typename F>
bool Bind(void* library, const char* name, F* out) {
    *out = reinterpret_cast<F>(dlsym(library, name));
    return *out != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: reader_host <library> <directory> <threads> <records>\n");
        return 2;
    }
    const int threads = std::atoi(argv[3]);
    const int records = std::atoi(argv[4]);
    const int pauseMs = argc > 5 ? std::atoi(argv[5]) : 0;
    const bool compress = argc > 6 && std::string(argv[6]) == "compress";
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    Exports x;
    if (library == nullptr || !Bind(library, "SL_CreateLog", &x.create) ||
        !Bind(library, "SL_DestroyLog", &x.destroy) || !Bind(library, "SL_TraceLog", &x.trace) ||
        !Bind(library, "SL_SetLogArchive", &x.archive) ||
        !Bind(library, "SL_SetLogOption", &x.option)) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 3;
    }
    LogHandle log = x.create(argv[2], "app.log", 1, 0);
    if (log == nullptr) {
        return 4;
    }
    x.archive(log, 3);
    if (compress && x.option(log, SL_OPTION_COMPRESS, 1) != 0) {
        return 6;
    }
    std::vector<std::thread> writers;
    for (int k = 0; k < threads; ++k) {
        writers.emplace_back([&x, log, k, records, pauseMs] {
            const std::string padding(40 + 20 * k, 'p');
            for (int i = 0; i < records; ++i) {
                if (i % 50 == 49) {
                    x.trace(log, 0, "t%d n%d %s\n  more of t%d n%d", k, i, padding.c_str(), k, i);
                } else {
                    x.trace(log, 0, "t%d n%d %s", k, i, padding.c_str());
                }
                if (pauseMs > 0 && i % 100 == 99) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                }
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    x.destroy(log);
    // The destruction is carried out by the library's thread; unloading
    // waits for it.
    return dlclose(library) == 0 ? 0 : 5;
}
