// A Windows host that loads and unloads the library over and over, the way
// a host that loads it for a short task does. It reaches the library
// through its exports only.
//
//   unload_host <library> purge <cycles> leftovers|empty|none
//     Loads the library and unloads it at once. leftovers: before each load
//     the host puts old logs into both folders the library purges at load
//     (<exe dir>/log_files and <exe dir>/../log) and checks after the unload
//     that they are gone; empty: both folders are there and empty; none:
//     neither is there (the test arranges the folders).
//   unload_host <library> pending <cycles>
//     Creates two logs, writes records, leaves raw text pending in one,
//     posts its destruction and a new disk limit, and unloads at once; then
//     checks that the raw text is in the file.
//   unload_host <library> threads <cycles> <threads>
//     Threads of the host write records to one log; once they are done the
//     library is unloaded at once; then the file is checked for every record.
//   unload_host <library> exit <threads>
//     Threads write records to one log without end, raw text is pending in
//     another, and the process ends (main returns) without unloading.
//
// The cycles report one line (they stop early after 10 slow unloads):
//   cycles <n> slow <unloads over 400 ms> stalled <unloads over 400 ms by no
//   more than the machine did not run the host meanwhile>
//   max_ms <longest unload> mean_ms <mean unload>
//   lingering <unloads after which a thread stayed> failed <checks failed>
// After each unload the host waits until the process has no more threads
// than before the load: a thread of the library that ran on past the
// unload would crash meanwhile. A crash anywhere ends the process with
// exit code 70 and "crash <code> at <address>" on its standard error.
#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "VOSK_Log.h"

namespace {

// An unload over this is slow; but one that is over it by no more than the
// machine went without running the host meanwhile (see StallWatch) is
// counted as stalled, apart. The faults this catches wait out the worker's
// one-second stop; under Wine on a busy machine a sound unload has taken
// up to 300 ms while the host's own threads kept running (the wine server
// is a process of its own, which the stall watch cannot see).
constexpr double kSlowUnloadMs = 400;
// Long enough for any thread to end once nothing holds it; reported as
// lingering when it does not.
constexpr DWORD kThreadsSettleMs = 5000;
constexpr int kCrashExitCode = 70;
// Enough slow unloads to tell: the cycles stop there, so that a library
// whose every unload waits out a time-out fails in seconds, not minutes.
constexpr int kEnoughSlow = 10;

struct Exports {
    decltype(&SL_CreateLog) create = nullptr;
    decltype(&SL_DestroyLog) destroy = nullptr;
    decltype(&SL_TraceLog) trace = nullptr;
    decltype(&SL_Write) write = nullptr;
    decltype(&SL_SetLogDiskLimit) setDiskLimit = nullptr;
};

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    fprintf(stderr, "crash %08lx at %p\n",
            static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
            info->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

template <typename F>
bool Bind(HMODULE library, const char* name, F* out) {
    *out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return *out != nullptr;
}

HMODULE Load(const std::wstring& path, Exports* x) {
    HMODULE library = LoadLibraryW(path.c_str());
    if (library == nullptr) {
        fprintf(stderr, "cannot load the library: error %lu\n", GetLastError());
        return nullptr;
    }
    if (!Bind(library, "SL_CreateLog", &x->create) ||
        !Bind(library, "SL_DestroyLog", &x->destroy) || !Bind(library, "SL_TraceLog", &x->trace) ||
        !Bind(library, "SL_Write", &x->write) ||
        !Bind(library, "SL_SetLogDiskLimit", &x->setDiskLimit)) {
        fprintf(stderr, "missing export\n");
        return nullptr;
    }
    return library;
}

// The process's threads, as the system lists them (cheaper than a
// toolhelp snapshot, which Wine makes in tens of milliseconds).
int CountThreads() {
    using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const Query query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    static std::vector<char> buffer(1 << 20);
    for (;;) {
        ULONG length = 0;
        const LONG status = query(SystemProcessInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &length);
        if (status == static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) {
            return -1;
        }
        break;
    }
    const DWORD self = GetCurrentProcessId();
    for (const char* at = buffer.data();;) {
        const auto* process = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(at);
        if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(process->UniqueProcessId)) == self) {
            return static_cast<int>(process->NumberOfThreads);
        }
        if (process->NextEntryOffset == 0) {
            return -1;
        }
        at += process->NextEntryOffset;
    }
}

double NowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / ticksPerMs;
}

std::wstring ExeDirectory() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/"));
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A host thread that wakes every millisecond and keeps the longest time it
// went without waking since the last Restart. An unload that a busy
// machine held up held this thread up as well; one that waited for the
// library (a time-out, a thread that cannot begin) did not.
class StallWatch {
  public:
    StallWatch() : thread_([this] { Tick(); }) {}
    ~StallWatch() {
        stop_ = true;
        thread_.join();
    }
    StallWatch(const StallWatch&) = delete;
    StallWatch& operator=(const StallWatch&) = delete;

    void Restart() {
        longestUs_ = 0;
        lastUs_ = NowUs();
    }
    double LongestMs() const {
        const int64_t now = NowUs() - lastUs_.load();
        const int64_t longest = longestUs_.load();
        return static_cast<double>(now > longest ? now : longest) / 1000.0;
    }

  private:
    static int64_t NowUs() { return static_cast<int64_t>(NowMs() * 1000.0); }
    void Tick() {
        lastUs_ = NowUs();
        while (!stop_) {
            Sleep(1);
            const int64_t now = NowUs();
            const int64_t gap = now - lastUs_.exchange(now);
            if (gap > longestUs_.load()) {
                longestUs_ = gap;
            }
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<int64_t> lastUs_{0};
    std::atomic<int64_t> longestUs_{0};
    std::thread thread_;
};

struct Tally {
    StallWatch stalls;
    int cycles = 0;
    int slow = 0;
    int stalled = 0;
    double maxMs = 0;
    int lingering = 0;
    int failed = 0;
    double unloadMs = 0;

    bool Enough() const { return slow >= kEnoughSlow; }
    void Print() const {
        printf("cycles %d slow %d stalled %d max_ms %.1f mean_ms %.1f lingering %d failed %d\n",
               cycles, slow, stalled, maxMs, cycles > 0 ? unloadMs / cycles : 0.0, lingering,
               failed);
    }
};

// Unloads the library, times the call, then waits for the process to be
// back to its threads before the load.
bool Unload(HMODULE library, int threadsBefore, Tally* tally) {
    tally->stalls.Restart();
    const double start = NowMs();
    if (!FreeLibrary(library)) {
        fprintf(stderr, "FreeLibrary failed: error %lu\n", GetLastError());
        return false;
    }
    const double ms = NowMs() - start;
    const double stallMs = tally->stalls.LongestMs();
    tally->unloadMs += ms;
    tally->maxMs = ms > tally->maxMs ? ms : tally->maxMs;
    if (ms > kSlowUnloadMs) {
        if (ms - stallMs > kSlowUnloadMs) {
            ++tally->slow;
        } else {
            ++tally->stalled;
        }
        fprintf(stderr, "unload of %.1f ms; the host went %.1f ms without running\n", ms, stallMs);
    }
    const DWORD deadline = GetTickCount() + kThreadsSettleMs;
    while (CountThreads() > threadsBefore) {
        if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
            ++tally->lingering;
            break;
        }
        Sleep(1);
    }
    ++tally->cycles;
    return true;
}

int Purge(const std::wstring& library, int cycles, const char* folders) {
    const std::wstring exeDir = ExeDirectory();
    const std::wstring leftovers[] = {exeDir + L"\\log_files\\old.log",
                                      exeDir + L"\\log_files\\old.log.bak",
                                      exeDir + L"\\..\\log\\old.log"};
    const bool plant = strcmp(folders, "leftovers") == 0;
    Tally tally;
    for (int i = 0; i < cycles && !tally.Enough(); ++i) {
        if (plant) {
            for (const std::wstring& file : leftovers) {
                std::ofstream(file.c_str()) << "left over\n";
            }
        }
        const int threadsBefore = CountThreads();
        Exports x;
        HMODULE handle = Load(library, &x);
        if (handle == nullptr || !Unload(handle, threadsBefore, &tally)) {
            return 3;
        }
        if (plant) {
            for (const std::wstring& file : leftovers) {
                if (Exists(file)) {
                    ++tally.failed;
                    fprintf(stderr, "cycle %d: a leftover was not purged\n", i);
                }
            }
        }
    }
    tally.Print();
    return 0;
}

int Pending(const std::wstring& library, int cycles) {
    const std::wstring dir = ExeDirectory() + L"\\pending";
    CreateDirectoryW(dir.c_str(), nullptr);
    Tally tally;
    for (int i = 0; i < cycles && !tally.Enough(); ++i) {
        const int threadsBefore = CountThreads();
        Exports x;
        HMODULE handle = Load(library, &x);
        if (handle == nullptr) {
            return 3;
        }
        char name[64];
        snprintf(name, sizeof(name), "kept%d.log", i);
        LogHandle kept = x.create("pending", name, 0, 5);
        LogHandle gone = x.create("pending", "gone.log", 0, 5);
        if (kept == nullptr || gone == nullptr) {
            return 4;
        }
        for (int n = 0; n < 20; ++n) {
            x.trace(n % 2 == 0 ? kept : gone, 1, "record %d of cycle %d", n, i);
        }
        char text[64];
        snprintf(text, sizeof(text), "raw text pending at unload %d", i);
        x.write(kept, text);
        x.write(gone, text);
        x.setDiskLimit(900);
        x.destroy(gone);
        if (!Unload(handle, threadsBefore, &tally)) {
            return 3;
        }
        std::wstring wide(name, name + strlen(name));
        const std::wstring file = dir + L"\\" + wide;
        const std::string content = ReadFile(file);
        if (content.find(text) == std::string::npos ||
            content.find("record 18 of cycle") == std::string::npos ||
            ReadFile(dir + L"\\gone.log").find(text) == std::string::npos) {
            ++tally.failed;
            fprintf(stderr, "cycle %d: pending text was not written\n", i);
        }
        DeleteFileW(file.c_str());
    }
    tally.Print();
    return 0;
}

int Threads(const std::wstring& library, int cycles, int threads) {
    constexpr int kRecords = 200;
    const std::wstring file = ExeDirectory() + L"\\threads\\threads.log";
    Tally tally;
    for (int i = 0; i < cycles && !tally.Enough(); ++i) {
        DeleteFileW(file.c_str());
        DeleteFileW((file + L".bak").c_str());
        const int threadsBefore = CountThreads();
        Exports x;
        HMODULE handle = Load(library, &x);
        if (handle == nullptr) {
            return 3;
        }
        LogHandle log = x.create("threads", "threads.log", 0, 5);
        if (log == nullptr) {
            return 4;
        }
        std::vector<std::thread> writers;
        for (int t = 0; t < threads; ++t) {
            writers.emplace_back([&x, log, t] {
                for (int n = 0; n < kRecords; ++n) {
                    x.trace(log, 1, "t%d n%d", t, n);
                }
            });
        }
        for (auto& writer : writers) {
            writer.join();
        }
        if (!Unload(handle, threadsBefore, &tally)) {
            return 3;
        }
        const std::string content = ReadFile(file);
        int lines = 0;
        for (char c : content) {
            lines += c == '\n';
        }
        if (lines != threads * kRecords) {
            ++tally.failed;
            fprintf(stderr, "cycle %d: %d of %d records\n", i, lines, threads * kRecords);
        }
    }
    tally.Print();
    return 0;
}

int Exit(const std::wstring& library, int threads) {
    // Static: the writers go on using them while main returns.
    static Exports x;
    static std::atomic<int> started{0};
    if (Load(library, &x) == nullptr) {
        return 3;
    }
    LogHandle busy = x.create("exit", "busy.log", 0, 5);
    LogHandle quiet = x.create("exit", "quiet.log", 0, 5);
    if (busy == nullptr || quiet == nullptr) {
        return 4;
    }
    for (int t = 0; t < threads; ++t) {
        std::thread([busy, t] {
            for (int n = 0;; ++n) {
                x.trace(busy, 1, "t%d n%d", t, n);
                if (n == 10) {
                    ++started;
                }
            }
        }).detach();
    }
    while (started.load() < threads) {
        Sleep(1);
    }
    x.trace(quiet, 1, "before the exit");
    x.write(quiet, "raw text pending at exit");
    printf("exiting\n");
    fflush(stdout);
    return 0;  // with the writers running and the library loaded
}

}  // namespace

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(ReportCrash);
    if (argc < 3) {
        fprintf(stderr, "usage: unload_host <library> <scenario> ...\n");
        return 2;
    }
    const std::string narrow = argv[1];
    const std::wstring library(narrow.begin(), narrow.end());
    const std::string scenario = argv[2];
    if (scenario == "purge" && argc == 5) {
        return Purge(library, atoi(argv[3]), argv[4]);
    }
    if (scenario == "pending" && argc == 4) {
        return Pending(library, atoi(argv[3]));
    }
    if (scenario == "threads" && argc == 5) {
        return Threads(library, atoi(argv[3]), atoi(argv[4]));
    }
    if (scenario == "exit" && argc == 4) {
        return Exit(library, atoi(argv[3]));
    }
    fprintf(stderr, "unknown scenario\n");
    return 2;
}
