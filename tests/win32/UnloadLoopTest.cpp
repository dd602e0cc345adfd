// Loading and unloading the DLL over and over, as hosts do: at once after
// the load (with old logs for the purge, empty purge folders, none), after
// records with work still pending, after host threads wrote records; and
// ending the process without unloading. Many cycles in one process and a
// number of fresh processes, counting crashes, unloads slower than 400 ms
// and threads that outlive an unload: every count must be 0. An unload over
// 400 ms by no more than the machine did not run the host meanwhile (a
// thread of it that asks to run every millisecond went that long without)
// is counted apart: on a machine shared by many builds that happens,
// whatever the library does.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <ostream>
#include <string>

#include "support/TempDir.h"

namespace vosk {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kCrashExitCode = 70;

struct HostRun {
    DWORD code = ~DWORD(0);
    std::string out;
    std::string err;
};

// Runs the host by its wide name in its own directory, with its output
// and errors in files beside it.
HostRun RunHost(const fs::path& host, const std::wstring& arguments) {
    const fs::path dir = host.parent_path();
    const fs::path outPath = dir / L"host.out";
    const fs::path errPath = dir / L"host.err";
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileW(outPath.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileW(errPath.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HostRun run;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring command = L"\"" + host.wstring() + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE ||
        !CreateProcessW(host.wstring().c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                        dir.wstring().c_str(), &startup, &process)) {
        ADD_FAILURE() << "cannot start the host: error " << GetLastError();
    } else {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &run.code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (out != INVALID_HANDLE_VALUE) {
        CloseHandle(out);
    }
    if (err != INVALID_HANDLE_VALUE) {
        CloseHandle(err);
    }
    run.out = test::ReadBytes(outPath);
    run.err = test::ReadBytes(errPath);
    run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
    return run;
}

// What the runs of one case add up to.
struct Figures {
    int processes = 0;
    int crashes = 0;
    int otherFailures = 0;
    int cycles = 0;
    int slow = 0;
    int stalled = 0;
    double maxMs = 0;
    double totalMs = 0;
    int lingering = 0;
    int failed = 0;

    void Add(const HostRun& run) {
        ++processes;
        if (run.code == kCrashExitCode) {
            ++crashes;
            ADD_FAILURE() << "the host crashed: " << run.err;
            return;
        }
        int n = 0, s = 0, st = 0, l = 0, f = 0;
        double ms = 0, mean = 0;
        if (run.code != 0 ||
            std::sscanf(
                run.out.c_str(),
                "cycles %d slow %d stalled %d max_ms %lf mean_ms %lf lingering %d failed %d", &n,
                &s, &st, &ms, &mean, &l, &f) != 7) {
            ++otherFailures;
            ADD_FAILURE() << "the host ended with " << run.code << ": " << run.out << run.err;
            return;
        }
        cycles += n;
        slow += s;
        stalled += st;
        maxMs = ms > maxMs ? ms : maxMs;
        totalMs += mean * n;
        lingering += l;
        failed += f;
        if (f != 0 || s != 0) {
            ADD_FAILURE() << run.err;
        }
    }
};

struct Case {
    const char* name;
    const wchar_t* arguments;  // after the library and before the cycles
    const wchar_t* extra;      // after the cycles
    bool oldLogs;
    bool emptyFolders;
    int cyclesInOne;  // one process
    int processes;    // fresh ones
    int cyclesEach;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class UnloadLoop : public ::testing::TestWithParam<Case> {};

TEST_P(UnloadLoop, NoCrashNoSlowUnloadNoThreadLeftBehind) {
    const Case& c = GetParam();
    test::TempDir dir;
    const fs::path bin = dir.Path() / L"bin";
    fs::create_directories(bin);
    const fs::path host = bin / fs::path(VOSK_UNLOAD_HOST).filename();
    const fs::path library = bin / fs::path(VOSK_LIBRARY).filename();
    fs::copy_file(VOSK_UNLOAD_HOST, host);
    fs::copy_file(VOSK_LIBRARY, library);
    if (c.oldLogs || c.emptyFolders) {
        fs::create_directories(bin / L"log_files");
        fs::create_directories(dir.Path() / L"log");
    }
    fs::create_directories(bin / L"threads");

    auto arguments = [&](int cycles) {
        return library.filename().wstring() + L" " + c.arguments + L" " + std::to_wstring(cycles) +
               c.extra;
    };
    Figures figures;
    figures.Add(RunHost(host, arguments(c.cyclesInOne)));
    for (int p = 0; p < c.processes; ++p) {
        figures.Add(RunHost(host, arguments(c.cyclesEach)));
    }
    std::cout << "[ figures  ] " << c.name << ": " << figures.processes << " processes, "
              << figures.cycles << " unloads; crashes " << figures.crashes
              << ", slower than 400 ms " << figures.slow << " (longest " << figures.maxMs
              << " ms, mean " << (figures.cycles > 0 ? figures.totalMs / figures.cycles : 0)
              << " ms; and while the machine held the host up " << figures.stalled
              << "), threads left " << figures.lingering << std::endl;
    EXPECT_EQ(figures.crashes, 0);
    EXPECT_EQ(figures.otherFailures, 0);
    EXPECT_EQ(figures.slow, 0) << "longest unload " << figures.maxMs << " ms";
    EXPECT_EQ(figures.lingering, 0);
    EXPECT_EQ(figures.failed, 0);
    EXPECT_EQ(figures.cycles, c.cyclesInOne + c.processes * c.cyclesEach);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnloadLoop,
    ::testing::Values(Case{"OldLogsInBothPurgeFolders", L"purge", L" leftovers", true, false, 150,
                           5, 4},
                      Case{"EmptyPurgeFolders", L"purge", L" empty", false, true, 150, 5, 4},
                      Case{"NoPurgeFolders", L"purge", L" none", false, false, 150, 5, 4},
                      Case{"AfterRecordsWithWorkPending", L"pending", L"", false, false, 100, 4, 4},
                      Case{"AfterHostThreadsWrote", L"threads", L" 4", false, false, 40, 2, 3}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The process ends with host threads writing and the library loaded: no
// crash, and the raw text pending in a quiet log is in its file.
TEST(UnloadLoopExit, EndingWithoutUnloadingWritesPendingTextAndEndsCleanly) {
    constexpr int kProcesses = 6;
    test::TempDir dir;
    const fs::path bin = dir.Path() / L"bin";
    fs::create_directories(bin);
    const fs::path host = bin / fs::path(VOSK_UNLOAD_HOST).filename();
    const fs::path library = bin / fs::path(VOSK_LIBRARY).filename();
    fs::copy_file(VOSK_UNLOAD_HOST, host);
    fs::copy_file(VOSK_LIBRARY, library);
    int crashes = 0;
    for (int p = 0; p < kProcesses; ++p) {
        SCOPED_TRACE(p);
        std::error_code ignored;
        fs::remove_all(bin / L"exit", ignored);
        const HostRun run = RunHost(host, library.filename().wstring() + L" exit 4");
        crashes += run.code == kCrashExitCode;
        EXPECT_EQ(run.code, 0u) << run.err;
        EXPECT_EQ(run.out, "exiting\n");
        const std::string quiet = test::ReadBytes(bin / L"exit" / L"quiet.log");
        EXPECT_NE(quiet.find("before the exit"), std::string::npos);
        EXPECT_NE(quiet.find("raw text pending at exit"), std::string::npos);
    }
    std::cout << "[ figures  ] exit without unloading: " << kProcesses << " processes, crashes "
              << crashes << std::endl;
}

}  // namespace
}  // namespace vosk
