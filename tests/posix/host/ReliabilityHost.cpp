// A host program for the POSIX reliability tests. It loads the library at
// run time, as users' hosts do, and reaches it through its exports only.
//
//   reliability_host crash <library> <directory> <threads>
//     Each thread writes numbered records to one log without end and, after
//     each call has returned, reports its thread and number (two ints) on
//     descriptor 3. The test kills it. Threads are numbered from
//     kLongRecordThreads, whose records are often long.
//
//   reliability_host unload <library> <directory>
//     Creates logs, writes to them from threads, leaves two registered and
//     some raw text pending, and unloads the library. Prints the number of
//     threads before loading and after unloading, and whether the library
//     is still mapped. Leak checkers see the unload, then the exit.
//
//   reliability_host cycles <library> <directory> <cycles> <threads>
//     Loads the library, writes records to one log from the threads while
//     the library's own thread runs, and unloads it; cycles times in one
//     process. Prints "cycles <n>" when every cycle ended.
//
//   reliability_host exit <library> <directory> <threads> return|exit
//     Threads write numbered records to one log without end; once each has
//     written some, raw text is left pending in a second log and the
//     process ends (main returns, or calls exit) with the writers running.
//
//   reliability_host signal <library> <directory> <records>
//     One thread writes numbered records (thread 0) to a log while another
//     keeps interrupting it with a signal whose handler writes "signal <k>"
//     to the same log, from the thread's first record on. Prints the number
//     of handler calls.
//
//   reliability_host rotate <library> <directory> <records per thread>
//     Four threads write numbered records ("t<k> n<i>") to one log of the
//     smallest size limit with the day archive on, so that every
//     generation of the file is kept, while the main thread forks six
//     times; each child writes 200 records ("c<k> n<i>") to the same log
//     and exits. Records are of a few bytes to 64 KB. Parent and children
//     rotate the one file. Prints "children <n>" with the number that
//     exited with 0.
//
//   reliability_host swap <library> <directory> <records per thread>
//     Four threads write records of 1 byte to 256 KB to "<directory>/tree/
//     logs/swap.log" (the smallest size limit, the day archive on) while
//     the main thread keeps renaming "tree/logs" aside, putting a link to
//     "<directory>/outside" in its place, and putting it back. Prints
//     "swaps <n>" once the writers are done and the log is destroyed.
//
//   reliability_host largest <library> <directory>
//     A log of the largest size limit (2147483647) whose path is a
//     directory at its first record (dropped), then 100 records once the
//     directory is gone. Prints "written <n>": the records in the file.
//
//   reliability_host fork <library> <directory> busy|daemon|big
//     busy: a thread writes records without end while the process forks;
//       the child writes a record and raw text, then calls exit. Prints
//       "child <status>" (or "child hung" after 5 s).
//     daemon: the parent exits right after the fork; the child logs,
//       destroys a log holding raw text, and writes "<directory>/done"
//       once that text is in the log's file (or "timeout" there after 5 s).
//     big: parent (thread 0) and child (thread 1) each write 50 records of
//       100 KB to one log at the same time.
//
//   reliability_host prune <library> <directory> age|disk day|logs|none <files>
//     <directory>/logs/logfiles-2020/01/2020-01-01 holds <files> files; a
//     folder outside the log's tree holds files of the same names (for
//     "day": <directory>/outside; for "logs": <directory>/outroot/
//     logfiles-2020/01/2020-01-01). A log in <directory>/logs has its day
//     archive on (age) or the disk limit at 0 (disk), so that the library's
//     thread prunes that day. As soon as its first file is deleted, the day
//     folder (day) or the log's whole directory (logs) is renamed aside and
//     a link to the outside folder put in its place; "none" swaps nothing.
//     Prints "outside <deleted> inside <left>": files deleted outside the
//     tree, files left in the day folder (wherever it was renamed to).
//
//   reliability_host names <library> <directory> <logs>
//     One after another, <logs> logs of one path "<directory>/names.log",
//     each with the day archive on, write one record ("record <n>") and
//     are destroyed; the file's last write is set back to one and the same
//     moment each time (a frozen clock), so that every backup archived has
//     the same time. Each log's first record moves the file to the backup,
//     and the backup before it into the archive. Prints "kept <n>": the
//     records found in the log's files and its archive.
//
//   reliability_host lock <library> <directory>
//     Another process takes flock(LOCK_EX) on <directory> and holds it for
//     2 s. Meanwhile a thread writes records of 60 KB to a 1 MiB log there
//     (opened before the lock was taken) until it has rotated, the main
//     thread forks (the child exits at once), and a second log's first
//     record opens its file. Prints "rotation <ms> fork <ms> first <ms>":
//     the longest record of the thread, the fork, and that first record.
//
//   reliability_host remake <library> <directory> wait|byhand
//     Run as root, it first becomes user nobody (65534), before loading the
//     library; exits 77 when it cannot, or when it cannot log in
//     <directory>. A thread writes "n<i>" records to <directory>/remake.log
//     every 10 ms while the main thread removes <directory> with the file
//     in it (byhand: and makes it again at once). Prints "back <ms>": how
//     long until a record was in a file at the path again, or "back never"
//     after 3 s.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    decltype(&SL_Write) write = nullptr;
    decltype(&SL_SetLogDiskLimit) setDiskLimit = nullptr;
};

template <typename F>
bool Bind(void* library, const char* name, F* out) {
    *out = reinterpret_cast<F>(dlsym(library, name));
    return *out != nullptr;
}

void* Load(const char* path, Exports* x) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return nullptr;
    }
    if (!Bind(library, "SL_CreateLog", &x->create) ||
        !Bind(library, "SL_DestroyLog", &x->destroy) || !Bind(library, "SL_TraceLog", &x->trace) ||
        !Bind(library, "SL_Write", &x->write) ||
        !Bind(library, "SL_SetLogDiskLimit", &x->setDiskLimit)) {
        std::fprintf(stderr, "missing export\n");
        return nullptr;
    }
    return library;
}

int CountThreads() {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return -1;
    }
    int count = 0;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(tasks);
    return count;
}

constexpr int kReportDescriptor = 3;

int Crash(const char* libraryPath, const char* directory, int threads) {
    Exports x;
    if (Load(libraryPath, &x) == nullptr) {
        return 3;
    }
    LogHandle log = x.create(directory, "crash.log", 0x7fffffff, 0);
    if (log == nullptr) {
        return 4;
    }
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&x, log, id = vosk::test::kLongRecordThreads + t] {
            for (int n = 0;; ++n) {
                x.trace(log, 0, vosk::test::kRecordFormat, id, n,
                        vosk::test::Payload(id, n).c_str());
                // Reports of 8 bytes reach a pipe whole, whichever thread
                // writes them.
                int report[2] = {id, n};
                if (write(kReportDescriptor, report, sizeof report) != sizeof report) {
                    _exit(5);
                }
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    return 0;
}

int Unload(const char* libraryPath, const char* directory) {
    // A first thread makes a sanitizer runtime start its helper thread, so
    // that the counts before and after compare the library's threads only.
    std::thread([] {}).join();
    int threadsBefore = CountThreads();
    Exports x;
    void* library = Load(libraryPath, &x);
    if (library == nullptr) {
        return 3;
    }
    std::string sub = std::string(directory) + "/missing/sub";
    LogHandle kept = x.create(directory, "kept.log", 0, 5);
    LogHandle deep = x.create(sub.c_str(), "deep.log", 0, 5);
    LogHandle gone = x.create(directory, "gone.log", 0, 5);
    if (kept == nullptr || deep == nullptr || gone == nullptr) {
        return 4;
    }
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t) {
        writers.emplace_back([&x, kept, deep, gone, t] {
            for (int n = 0; n < 200; ++n) {
                LogHandle log = n % 3 == 0 ? kept : n % 3 == 1 ? deep : gone;
                x.trace(log, 0, vosk::test::kRecordFormat, t, n, vosk::test::Payload(t, n).c_str());
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    x.setDiskLimit(900);
    x.destroy(gone);
    // Pending when the library goes: written out by the unload.
    x.write(kept, "raw text pending at unload\n");
    if (dlclose(library) != 0) {
        return 6;
    }
    bool stillMapped = dlopen(libraryPath, RTLD_NOW | RTLD_NOLOAD) != nullptr;
    std::printf("threads before %d after %d mapped %s\n", threadsBefore, CountThreads(),
                stillMapped ? "yes" : "no");
    return 0;
}

// Long enough for the library's thread to be inside its loop when the
// unload comes, short enough for hundreds of cycles per second.
constexpr int kCycleRecords = 20;

int Cycles(const char* libraryPath, const char* directory, int cycles, int threads) {
    for (int cycle = 0; cycle < cycles; ++cycle) {
        Exports x;
        void* library = Load(libraryPath, &x);
        if (library == nullptr) {
            return 3;
        }
        LogHandle log = x.create(directory, "cycle.log", 0, 5);
        if (log == nullptr) {
            return 4;
        }
        std::vector<std::thread> writers;
        for (int t = 0; t < threads; ++t) {
            writers.emplace_back([&x, log, t, cycle] {
                for (int n = 0; n < kCycleRecords; ++n) {
                    x.trace(log, 0, "cycle %d t%d n%d", cycle, t, n);
                }
            });
        }
        for (auto& writer : writers) {
            writer.join();
        }
        if (dlclose(library) != 0) {
            return 6;
        }
    }
    std::printf("cycles %d\n", cycles);
    return 0;
}

Exports signalExports;
LogHandle signalLog = nullptr;
volatile sig_atomic_t signalCalls = 0;

void LogFromHandler(int) {
    int saved = errno;
    signalCalls = signalCalls + 1;
    signalExports.trace(signalLog, 0, "signal %d", static_cast<int>(signalCalls));
    errno = saved;
}

int SignalWhileLogging(const char* libraryPath, const char* directory, int records) {
    if (Load(libraryPath, &signalExports) == nullptr) {
        return 3;
    }
    signalLog = signalExports.create(directory, "signal.log", 0x7fffffff, 0);
    if (signalLog == nullptr) {
        return 4;
    }
    // Made before: the writer's loop must not allocate, since the handler
    // may interrupt it anywhere.
    std::vector<std::string> payloads;
    for (int n = 0; n < records; ++n) {
        payloads.push_back(vosk::test::Payload(0, n) + std::string(2000, 'p'));
    }
    struct sigaction action {};
    action.sa_handler = LogFromHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &action, nullptr);
    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int n = 0; n < records; ++n) {
            signalExports.trace(signalLog, 0, "t%d n%d %s", 0, n, payloads[n].c_str());
            if (n == 0) {
                started.store(true);
            }
        }
        done.store(true);
    });
    // The thread's first call sets up its state in the library and the
    // log's first record opens the file: both allocate, which a handler must
    // never do. Signals start once that record is written.
    while (!started.load() && !done.load()) {
        std::this_thread::yield();
    }
    pthread_t target = writer.native_handle();
    while (!done.load()) {
        pthread_kill(target, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    writer.join();
    std::printf("signals %d\n", static_cast<int>(signalCalls));
    return 0;
}

// The child's status once it has ended; -1 when it did not end within limitMs
// (it is then killed).
int WaitForChild(pid_t child, int limitMs = 5000) {
    for (int waited = 0; waited < limitMs; ++waited) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return status;
        }
        usleep(1000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

bool FileHas(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    std::string bytes;
    char chunk[4096];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, f)) {
        bytes.append(chunk, n);
    }
    std::fclose(f);
    return bytes.find(text) != std::string::npos;
}

int ForkBusy(const Exports& x, LogHandle log) {
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {
        for (int n = 0; !stop.load(); ++n) {
            x.trace(log, 0, vosk::test::kRecordFormat, 0, n, vosk::test::Payload(0, n).c_str());
            written.store(n + 1);
        }
    });
    while (written.load() < 100) {
        std::this_thread::yield();
    }
    x.write(log, "raw text of the parent\n");
    pid_t child = fork();
    if (child == 0) {
        x.trace(log, 0, vosk::test::kRecordFormat, 1, 0, vosk::test::Payload(1, 0).c_str());
        x.write(log, "raw text of the child\n");
        std::exit(0);
    }
    int status = child < 0 ? -2 : WaitForChild(child);
    stop.store(true);
    writer.join();
    if (status == -1) {
        std::printf("child hung\n");
    } else {
        std::printf("child %d\n", status);
    }
    return 0;
}

int ForkDaemon(const Exports& x, LogHandle log, const std::string& directory) {
    LogHandle destroyed = x.create(directory.c_str(), "destroyed.log", 0, 0);
    if (destroyed == nullptr) {
        return 4;
    }
    x.trace(destroyed, 0, "opened in the parent");
    pid_t child = fork();
    if (child != 0) {
        return child < 0 ? 7 : 0;  // the parent leaves at once
    }
    x.trace(log, 0, vosk::test::kRecordFormat, 1, 0, vosk::test::Payload(1, 0).c_str());
    x.write(destroyed, "pending when destroyed in the child\n");
    x.destroy(destroyed);
    const char* outcome = "timeout";
    for (int waited = 0; waited < 5000; ++waited) {
        if (FileHas(directory + "/destroyed.log", "pending when destroyed in the child")) {
            outcome = "done";
            break;
        }
        usleep(1000);
    }
    FILE* done = std::fopen((directory + "/done").c_str(), "w");
    if (done != nullptr) {
        std::fputs(outcome, done);
        std::fclose(done);
    }
    return 0;
}

constexpr int kBigRecords = 50;
constexpr size_t kBigRecordBytes = 100000;

int ForkBig(const Exports& x, LogHandle log) {
    x.trace(log, 0, "opened");
    pid_t child = fork();
    if (child < 0) {
        return 7;
    }
    const int thread = child == 0 ? 1 : 0;
    const std::string payload(kBigRecordBytes, thread == 0 ? 'P' : 'C');
    for (int n = 0; n < kBigRecords; ++n) {
        x.trace(log, 0, "t%d n%d %s", thread, n, payload.c_str());
    }
    if (child == 0) {
        std::exit(0);
    }
    std::printf("child %d\n", WaitForChild(child));
    return 0;
}

int Fork(const char* libraryPath, const char* directory, const char* how) {
    Exports x;
    if (Load(libraryPath, &x) == nullptr) {
        return 3;
    }
    LogHandle log = x.create(directory, "fork.log", 0x7fffffff, 0);
    if (log == nullptr) {
        return 4;
    }
    std::fflush(stdout);
    if (std::strcmp(how, "busy") == 0) {
        return ForkBusy(x, log);
    }
    if (std::strcmp(how, "daemon") == 0) {
        return ForkDaemon(x, log, directory);
    }
    if (std::strcmp(how, "big") == 0) {
        return ForkBig(x, log);
    }
    return 2;
}

constexpr int kRotateThreads = 4;
constexpr int kRotateChildren = 6;
constexpr int kChildRecords = 200;

int ForkedRotation(const char* libraryPath, const char* directory, int perThread) {
    Exports x;
    void* library = Load(libraryPath, &x);
    decltype(&SL_SetLogArchive) setArchive = nullptr;
    if (library == nullptr || !Bind(library, "SL_SetLogArchive", &setArchive)) {
        return 3;
    }
    LogHandle log = x.create(directory, "rotate.log", 1048576, 0);
    if (log == nullptr) {
        return 4;
    }
    setArchive(log, 1);
    // Sizes of a few bytes to 64 KB: a rotation every few dozen records.
    const std::string payload(65536, '.');
    const auto size = [](int k, int n) {
        return (static_cast<unsigned>(n) * 7919u + k * 104729u) % 65536u;
    };
    std::atomic<int> written{0};
    // The writers stand still between two records for each fork: a thread
    // inside malloc at the fork would leave the child's allocator locked
    // (AddressSanitizer's is not fork-safe). They go on right after it, so
    // parent and child rotate the file at the same time.
    std::atomic<bool> hold{false};
    std::atomic<int> held{0};
    std::atomic<int> running{kRotateThreads};
    std::vector<std::thread> writers;
    for (int t = 0; t < kRotateThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int n = 0; n < perThread; ++n) {
                if (hold.load()) {
                    held.fetch_add(1);
                    while (hold.load()) {
                        std::this_thread::yield();
                    }
                    held.fetch_sub(1);
                }
                x.trace(log, 0, "t%d n%d %.*s", t, n, static_cast<int>(size(t, n)),
                        payload.c_str());
                written.fetch_add(1);
            }
            running.fetch_sub(1);
        });
    }
    std::vector<pid_t> children;
    for (int c = 0; c < kRotateChildren; ++c) {
        // Spread over the writers' run, each fork amid rotations.
        while (written.load() < (c + 1) * perThread * kRotateThreads / (kRotateChildren + 1)) {
            std::this_thread::yield();
        }
        std::fflush(stdout);
        hold.store(true);
        while (held.load() < running.load()) {
            std::this_thread::yield();
        }
        pid_t child = fork();
        hold.store(false);
        if (child == 0) {
            for (int n = 0; n < kChildRecords; ++n) {
                x.trace(log, 0, "c%d n%d %.*s", c, n, static_cast<int>(size(c + 7, n)),
                        payload.c_str());
            }
            std::exit(0);
        }
        children.push_back(child);
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    int exited = 0;
    for (pid_t child : children) {
        // Each child writes megabytes: slow under the sanitizers.
        int status = child < 0 ? -1 : WaitForChild(child, 60000);
        exited += status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
    }
    std::printf("children %d\n", exited);
    return 0;
}

constexpr int kSwapThreads = 4;

int DirectorySwaps(const char* libraryPath, const char* directory, int perThread) {
    Exports x;
    void* library = Load(libraryPath, &x);
    decltype(&SL_SetLogArchive) setArchive = nullptr;
    if (library == nullptr || !Bind(library, "SL_SetLogArchive", &setArchive)) {
        return 3;
    }
    const std::string tree = std::string(directory) + "/tree";
    const std::string logs = tree + "/logs";
    const std::string aside = tree + "/logs.aside";
    const std::string outside = std::string(directory) + "/outside";
    LogHandle log = x.create(logs.c_str(), "swap.log", 1048576, 0);
    if (log == nullptr) {
        return 4;
    }
    setArchive(log, 1);
    x.trace(log, 0, "opened");
    const std::string payload(262144, '.');
    std::atomic<int> running{kSwapThreads};
    std::vector<std::thread> writers;
    for (int t = 0; t < kSwapThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int n = 0; n < perThread; ++n) {
                const unsigned size = (static_cast<unsigned>(n) * 7919u + t * 104729u) % 262144u;
                x.trace(log, 0, "t%d n%d %.*s", t, n, static_cast<int>(size), payload.c_str());
            }
            running.fetch_sub(1);
        });
    }
    int swaps = 0;
    while (running.load() > 0) {
        if (rename(logs.c_str(), aside.c_str()) != 0) {
            break;
        }
        const bool linked = symlink(outside.c_str(), logs.c_str()) == 0;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        if (linked) {
            unlink(logs.c_str());
        }
        if (rename(aside.c_str(), logs.c_str()) != 0) {
            break;
        }
        ++swaps;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    x.destroy(log);
    std::printf("swaps %d\n", swaps);
    return 0;
}

int LargestLimit(const char* libraryPath, const char* directory) {
    Exports x;
    if (Load(libraryPath, &x) == nullptr) {
        return 3;
    }
    const std::string path = std::string(directory) + "/largest.log";
    if (mkdir(path.c_str(), 0700) != 0) {
        return 5;
    }
    LogHandle log = x.create(directory, "largest.log", 2147483647, 0);
    if (log == nullptr) {
        return 4;
    }
    x.trace(log, 0, "dropped: a directory is at the path");
    if (rmdir(path.c_str()) != 0) {
        return 5;
    }
    constexpr int kRecords = 100;
    for (int n = 0; n < kRecords; ++n) {
        x.trace(log, 0, "later %d", n);
    }
    int written = 0;
    for (int n = 0; n < kRecords; ++n) {
        written += FileHas(path, "] later " + std::to_string(n) + "\n") ? 1 : 0;
    }
    std::printf("written %d\n", written);
    return 0;
}

constexpr int kRecordsBeforeExit = 50;

int ExitWithWriters(const char* libraryPath, const char* directory, int threads, bool callExit) {
    Exports x;
    if (Load(libraryPath, &x) == nullptr) {
        return 3;
    }
    LogHandle log = x.create(directory, "exit.log", 0x7fffffff, 0);
    LogHandle raw = x.create(directory, "raw.log", 0, 0);
    if (log == nullptr || raw == nullptr) {
        return 4;
    }
    x.trace(raw, 0, "opened");
    // Never destroyed: writers may use them until the process is gone.
    auto* written = new std::atomic<int>[static_cast<size_t>(threads)]();
    for (int t = 0; t < threads; ++t) {
        std::thread([x, log, t, written] {
            for (int n = 0;; ++n) {
                x.trace(log, 0, vosk::test::kRecordFormat, t, n, vosk::test::Payload(t, n).c_str());
                written[t].store(n + 1);
            }
        }).detach();
    }
    for (int t = 0; t < threads; ++t) {
        while (written[t].load() < kRecordsBeforeExit) {
            std::this_thread::yield();
        }
    }
    x.write(raw, "pending at exit\n");
    std::printf("exiting\n");
    std::fflush(stdout);
    if (callExit) {
        std::exit(0);
    }
    return 0;
}

// Files directly in a directory; -1 when it cannot be read.
int CountFiles(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(dir);
    return count;
}

bool MakeFiles(const std::string& directory, int files) {
    for (size_t at = directory.find('/', 1);; at = directory.find('/', at + 1)) {
        mkdir(directory.substr(0, at).c_str(), 0755);
        if (at == std::string::npos) {
            break;
        }
    }
    for (int n = 0; n < files; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/f%05d", n);
        FILE* f = std::fopen((directory + name).c_str(), "w");
        if (f == nullptr) {
            return false;
        }
        std::fputs("kept\n", f);
        std::fclose(f);
    }
    return true;
}

int PruneRace(const char* libraryPath, const char* directory, const char* how, const char* swap,
              int files) {
    const std::string base(directory);
    const std::string logs = base + "/logs";
    const std::string dayPart = "/logfiles-2020/01/2020-01-01";
    const std::string day = logs + dayPart;
    const bool swapDay = std::strcmp(swap, "day") == 0;
    const bool swapLogs = std::strcmp(swap, "logs") == 0;
    const std::string outside = swapLogs ? base + "/outroot" + dayPart : base + "/outside";
    if (!MakeFiles(day, files) || !MakeFiles(outside, files)) {
        return 5;
    }
    const int watch = inotify_init1(IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, day.c_str(), IN_DELETE) < 0) {
        return 5;
    }
    Exports x;
    void* library = Load(libraryPath, &x);
    decltype(&SL_SetLogArchive) setArchive = nullptr;
    if (library == nullptr || !Bind(library, "SL_SetLogArchive", &setArchive)) {
        return 3;
    }
    LogHandle log = x.create(logs.c_str(), "prune.log", 0, 0);
    if (log == nullptr) {
        return 4;
    }
    x.trace(log, 0, "opened");
    if (std::strcmp(how, "age") == 0) {
        setArchive(log, 1);
    } else {
        x.setDiskLimit(0);
    }
    // The first deletion in the day folder; then the swap at once.
    char events[4096];
    if (read(watch, events, sizeof events) <= 0) {
        return 6;
    }
    std::string aside = day;
    if (swapDay) {
        aside = day + ".aside";
        rename(day.c_str(), aside.c_str());
        symlink(outside.c_str(), day.c_str());
    } else if (swapLogs) {
        aside = base + "/logs.aside" + dayPart;
        rename(logs.c_str(), (base + "/logs.aside").c_str());
        symlink((base + "/outroot").c_str(), logs.c_str());
    }
    // The age prune takes the day in one pass; the disk prune a slice per
    // idle pass (every 500 ms).
    for (int waited = 0; waited < 2500 && CountFiles(aside) > 0; waited += 10) {
        usleep(10000);
    }
    usleep(100000);
    const int inside = CountFiles(aside);
    std::printf("outside %d inside %d\n", files - CountFiles(outside), inside < 0 ? 0 : inside);
    return 0;
}

// Every file beneath path, each read whole, appended to out.
void ReadTree(const std::string& path, std::string* out) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f != nullptr) {
            char chunk[4096];
            while (size_t n = std::fread(chunk, 1, sizeof chunk, f)) {
                out->append(chunk, n);
            }
            std::fclose(f);
        }
        return;
    }
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ReadTree(path + "/" + entry->d_name, out);
        }
    }
    closedir(dir);
}

int FrozenNames(const char* libraryPath, const char* directory, int logs) {
    Exports x;
    void* library = Load(libraryPath, &x);
    decltype(&SL_SetLogArchive) setArchive = nullptr;
    if (library == nullptr || !Bind(library, "SL_SetLogArchive", &setArchive)) {
        return 3;
    }
    const std::string file = std::string(directory) + "/names.log";
    const struct timespec frozen[2] = {{1700000000, 0}, {1700000000, 0}};
    for (int n = 0; n < logs; ++n) {
        LogHandle log = x.create(directory, "names.log", 0, 0);
        if (log == nullptr) {
            return 4;
        }
        setArchive(log, 1);
        x.trace(log, 0, "record %d", n);
        utimensat(AT_FDCWD, file.c_str(), frozen, 0);
        x.destroy(log);
    }
    std::string all;
    ReadTree(directory, &all);
    int kept = 0;
    for (int n = 0; n < logs; ++n) {
        const std::string record = "] record " + std::to_string(n) + "\n";
        kept += all.find(record) != std::string::npos ? 1 : 0;
    }
    std::printf("kept %d\n", kept);
    return 0;
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int ForeignLock(const char* libraryPath, const char* directory) {
    Exports x;
    if (Load(libraryPath, &x) == nullptr) {
        return 3;
    }
    LogHandle log = x.create(directory, "lock.log", 1048576, 0);
    if (log == nullptr) {
        return 4;
    }
    x.trace(log, 0, "opened before the lock was taken");
    int ready[2];
    if (pipe(ready) != 0) {
        return 5;
    }
    std::fflush(stdout);
    const pid_t holder = fork();
    if (holder == 0) {
        const int fd = open(directory, O_RDONLY | O_DIRECTORY);
        if (fd < 0 || flock(fd, LOCK_EX) != 0) {
            _exit(1);
        }
        char one = 1;
        if (write(ready[1], &one, 1) != 1) {
            _exit(1);
        }
        usleep(2000000);
        _exit(0);
    }
    char got = 0;
    if (holder < 0 || read(ready[0], &got, 1) != 1) {
        return 6;
    }
    std::atomic<int64_t> longest{0};
    std::thread writer([&] {
        const std::string payload(60000, 'r');
        // 20 records of 60 KB: the file passes 1 MiB and rotates.
        for (int n = 0; n < 20; ++n) {
            const int64_t start = NowMs();
            x.trace(log, 0, "n%d %s", n, payload.c_str());
            const int64_t took = NowMs() - start;
            if (took > longest.load()) {
                longest.store(took);
            }
        }
    });
    usleep(100000);
    int64_t start = NowMs();
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    const int64_t forkMs = NowMs() - start;
    if (child > 0) {
        waitpid(child, nullptr, 0);
    }
    LogHandle second = x.create(directory, "second.log", 0, 0);
    start = NowMs();
    x.trace(second, 0, "first record");
    const int64_t firstMs = NowMs() - start;
    writer.join();
    waitpid(holder, nullptr, 0);
    std::printf("rotation %lld fork %lld first %lld\n", static_cast<long long>(longest.load()),
                static_cast<long long>(forkMs), static_cast<long long>(firstMs));
    return 0;
}

constexpr uid_t kNobody = 65534;

// Root may list any directory: the library is shown what an ordinary
// user's process meets only when it runs as one.
bool RunAsOrdinaryUser() {
    if (getuid() != 0) {
        return true;
    }
    return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
}

int RemadeDirectory(const char* libraryPath, const char* directory, bool byHand) {
    if (!RunAsOrdinaryUser()) {
        std::printf("cannot run as user nobody: %s\n", std::strerror(errno));
        return 77;
    }
    Exports x;
    if (Load(libraryPath, &x) == nullptr) {
        return 3;
    }
    const std::string file = std::string(directory) + "/remake.log";
    LogHandle log = x.create(directory, "remake.log", 0, 0);
    if (log == nullptr) {
        return 4;
    }
    x.trace(log, 0, "first");
    if (!FileHas(file, "] first\n")) {
        std::printf("cannot log in %s as user %d\n", directory, static_cast<int>(getuid()));
        return 77;
    }
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int n = 0; !stop.load(); ++n) {
            x.trace(log, 0, "n%d", n);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (unlink(file.c_str()) != 0 || rmdir(directory) != 0 ||
        (byHand && mkdir(directory, 0755) != 0)) {
        stop = true;
        writer.join();
        return 5;
    }
    const auto removed = std::chrono::steady_clock::now();
    // Measured once the record is seen: never less than it took.
    long back = -1;
    for (long waited = 0; back < 0 && waited < 3000;) {
        const bool there = FileHas(file, "] n");
        waited = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - removed)
                                       .count());
        if (there) {
            back = waited;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    stop = true;
    writer.join();
    x.destroy(log);
    if (back < 0) {
        std::printf("back never\n");
    } else {
        std::printf("back %ld\n", back);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "crash") == 0) {
        return Crash(argv[2], argv[3], std::atoi(argv[4]));
    }
    if (argc >= 4 && std::strcmp(argv[1], "unload") == 0) {
        return Unload(argv[2], argv[3]);
    }
    if (argc >= 5 && std::strcmp(argv[1], "rotate") == 0) {
        return ForkedRotation(argv[2], argv[3], std::atoi(argv[4]));
    }
    if (argc >= 5 && std::strcmp(argv[1], "swap") == 0) {
        return DirectorySwaps(argv[2], argv[3], std::atoi(argv[4]));
    }
    if (argc >= 4 && std::strcmp(argv[1], "largest") == 0) {
        return LargestLimit(argv[2], argv[3]);
    }
    if (argc >= 5 && std::strcmp(argv[1], "fork") == 0) {
        return Fork(argv[2], argv[3], argv[4]);
    }
    if (argc >= 5 && std::strcmp(argv[1], "signal") == 0) {
        return SignalWhileLogging(argv[2], argv[3], std::atoi(argv[4]));
    }
    if (argc >= 6 && std::strcmp(argv[1], "exit") == 0) {
        return ExitWithWriters(argv[2], argv[3], std::atoi(argv[4]),
                               std::strcmp(argv[5], "exit") == 0);
    }
    if (argc >= 6 && std::strcmp(argv[1], "cycles") == 0) {
        return Cycles(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    }
    if (argc >= 4 && std::strcmp(argv[1], "lock") == 0) {
        return ForeignLock(argv[2], argv[3]);
    }
    if (argc >= 5 && std::strcmp(argv[1], "names") == 0) {
        return FrozenNames(argv[2], argv[3], std::atoi(argv[4]));
    }
    if (argc >= 7 && std::strcmp(argv[1], "prune") == 0) {
        return PruneRace(argv[2], argv[3], argv[4], argv[5], std::atoi(argv[6]));
    }
    if (argc >= 5 && std::strcmp(argv[1], "remake") == 0) {
        return RemadeDirectory(argv[2], argv[3], std::strcmp(argv[4], "byhand") == 0);
    }
    std::fprintf(stderr,
                 "usage: reliability_host "
                 "crash|unload|cycles|exit|signal|fork|rotate|swap|largest|prune|names|lock|remake "
                 "<library> "
                 "<directory> [count] "
                 "[threads]\n");
    return 2;
}
