// A host whose disk fills and empties while its threads log, for the gap
// records. It loads the library at run time and reaches it through its
// exports only.
//
//   gap_host <library> <directory> <threads> <records per thread> on|off|default [flicker]
//     Each thread writes numbered records ("t<k> n<i>", support/Records.h)
//     to "<directory>/gap.log", a little apart; meanwhile the main thread
//     fills the disk of the directory with a file of its own, holds it
//     full a moment and deletes the file, again and again, until the
//     writers are done. Then, with room, one last record "t99 n0". on|off
//     sets SL_OPTION_GAP_RECORDS; default leaves it as the library has it.
//     Prints "fills <n>" (how often the disk was full) and "done".
//     flicker: the threads write without pause, and the disk, filled once,
//     gets a page or two of room back and loses it again, thousands of
//     times, so that room ends inside records and comes back between two
//     writes.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "VOSK_Log.h"
#include "support/Records.h"

namespace {

struct Exports {
    decltype(&SL_CreateLog) create = nullptr;
    decltype(&SL_DestroyLog) destroy = nullptr;
    decltype(&SL_TraceLog) trace = nullptr;
    decltype(&SL_SetLogOption) setOption = nullptr;
};

template <typename F>
bool Bind(void* library, const char* name, F* out) {
    *out = reinterpret_cast<F>(dlsym(library, name));
    return *out != nullptr;
}

// Fills the disk of path's directory with the file path; true when it is
// full (a write of a page found no room).
bool Fill(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return false;
    }
    static const std::vector<char> block(1 << 16, 'f');
    bool full = false;
    for (size_t size : {block.size(), size_t{4096}}) {
        for (;;) {
            const ssize_t n = write(fd, block.data(), size);
            if (n < static_cast<ssize_t>(size)) {
                full = n >= 0 || errno == ENOSPC;
                break;
            }
        }
    }
    close(fd);
    return full;
}

// Keeps the disk of path's directory full but for a page or two that
// comes and goes: the file path, filled once, is cut by that much and
// grown again, until running is 0. How often the room came back.
int Flicker(const std::string& path, const std::atomic<int>& running) {
    if (!Fill(path)) {
        return 0;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
    if (fd < 0) {
        return 0;
    }
    static const std::vector<char> pages(3 * 4096, 'f');
    int flickers = 0;
    unsigned seed = 20261211;
    while (running.load() > 0) {
        seed = seed * 1103515245u + 12345u;
        const off_t room = static_cast<off_t>(4096 * (1 + (seed >> 16) % 2));
        const off_t size = lseek(fd, 0, SEEK_END);
        if (size < room || ftruncate(fd, size - room) != 0) {
            break;  // the log took all the room there was
        }
        ++flickers;
        std::this_thread::sleep_for(std::chrono::microseconds((seed >> 8) % 50));
        // Whatever the writers left of the room is taken back.
        while (write(fd, pages.data(), pages.size()) > 0) {
        }
        std::this_thread::sleep_for(std::chrono::microseconds((seed >> 4) % 50));
    }
    close(fd);
    return flickers;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr,
                     "usage: gap_host <library> <directory> <threads> <records> "
                     "on|off|default [flicker]\n");
        return 2;
    }
    const std::string directory = argv[2];
    const int threads = std::atoi(argv[3]);
    const int perThread = std::atoi(argv[4]);
    const std::string gaps = argv[5];
    const bool flicker = argc > 6 && std::string(argv[6]) == "flicker";
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    Exports x;
    if (library == nullptr || !Bind(library, "SL_CreateLog", &x.create) ||
        !Bind(library, "SL_DestroyLog", &x.destroy) || !Bind(library, "SL_TraceLog", &x.trace) ||
        !Bind(library, "SL_SetLogOption", &x.setOption)) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    // Larger than the disk: the file never rotates, so every record that
    // landed is in it.
    LogHandle log = x.create(directory.c_str(), "gap.log", 1 << 30, 0);
    if (log == nullptr) {
        return 1;
    }
    if (gaps != "default" && x.setOption(log, SL_OPTION_GAP_RECORDS, gaps == "on" ? 1 : 0) != 0) {
        std::fprintf(stderr, "option refused\n");
        return 1;
    }
    std::atomic<int> running{threads};
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&, t] {
            for (int n = 0; n < perThread; ++n) {
                const std::string payload = vosk::test::Payload(t, n);
                x.trace(log, 0, vosk::test::kRecordFormat, t, n, payload.c_str());
                if (!flicker) {
                    std::this_thread::sleep_for(std::chrono::microseconds(20));
                }
            }
            running.fetch_sub(1);
        });
    }
    const std::string filler = directory + "/filler";
    int fills = 0;
    if (flicker) {
        std::printf("flickers %d\n", Flicker(filler, running));
    }
    while (running.load() > 0) {
        fills += Fill(filler) ? 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        unlink(filler.c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    unlink(filler.c_str());
    x.trace(log, 0, vosk::test::kRecordFormat, 99, 0, vosk::test::Payload(99, 0).c_str());
    x.destroy(log);
    dlclose(library);
    std::printf("fills %d\ndone\n", fills);
    return 0;
}
