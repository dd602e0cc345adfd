#include "Probes.h"

#include <fcntl.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Common.h"
#include "Contenders.h"
#include "Library.h"

namespace bench {

namespace {

constexpr int kMemoryLogs = 1000;
constexpr int kUnloadLogs = 10;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string PathOf(int index) {
    return WorkDirectory() + "/probe-" + std::to_string(index) + ".log";
}

std::string NameOf(int index) {
    return "probe-" + std::to_string(index) + ".log";
}

int ThreadCount() {
    FILE* status = fopen("/proc/self/status", "r");
    if (status == nullptr) {
        return -1;
    }
    char line[256];
    int threads = -1;
    while (fgets(line, sizeof(line), status) != nullptr) {
        if (sscanf(line, "Threads: %d", &threads) == 1) {
            break;
        }
    }
    fclose(status);
    return threads;
}

// Opens `count` logs of the contender after a first one that pays for
// whatever is set up once, writes one record to each, and reports the
// resident growth per log in kilobytes. Handles are kept in storage
// reserved beforehand, so the probe's own bookkeeping adds nothing.
bool MemoryPerLog(const std::string& contender, double* value, std::string* error) {
    long before = 0;
    long after = 0;
    if (contender == Vosk::kName) {
        VoskLibrary library;
        if (!library.Load(VoskLibrary::DefaultPath(), error)) {
            return false;
        }
        const VoskApi& api = library.Api();
        std::vector<LogHandle> logs;
        logs.reserve(kMemoryLogs + 1);
        for (int i = 0; i <= kMemoryLogs; ++i) {
            if (i == 1) {
                before = ResidentBytes();
            }
            logs.push_back(api.createLog(WorkDirectory().c_str(), NameOf(i).c_str(), INT_MAX,
                                         kLevelThreshold));
            if (logs.back() == nullptr) {
                *error = "SL_CreateLog failed";
                return false;
            }
            api.traceLog(logs.back(), kLevelWritten, kPrintfMessage, i);
        }
        after = ResidentBytes();
    } else if (contender == Spdlog::kName) {
        std::vector<std::shared_ptr<spdlog::logger>> loggers;
        loggers.reserve(kMemoryLogs + 1);
        for (int i = 0; i <= kMemoryLogs; ++i) {
            if (i == 1) {
                before = ResidentBytes();
            }
            auto logger = spdlog::basic_logger_mt(NameOf(i), PathOf(i), true);
            logger->set_pattern(kSpdlogPattern);
            logger->flush_on(spdlog::level::trace);
            logger->info(kFmtMessage, i);
            loggers.push_back(std::move(logger));
        }
        after = ResidentBytes();
    } else if (contender == Stdio::kName) {
        std::vector<FILE*> files;
        files.reserve(kMemoryLogs + 1);
        for (int i = 0; i <= kMemoryLogs; ++i) {
            if (i == 1) {
                before = ResidentBytes();
            }
            files.push_back(fopen(PathOf(i).c_str(), "we"));
            if (files.back() == nullptr) {
                *error = "fopen failed";
                return false;
            }
            StdioRecord(files.back(), i);
        }
        after = ResidentBytes();
    } else if (contender == Floor::kName) {
        std::vector<int> fds;
        fds.reserve(kMemoryLogs + 1);
        const std::string line = FormattedLine(0);
        for (int i = 0; i <= kMemoryLogs; ++i) {
            if (i == 1) {
                before = ResidentBytes();
            }
            fds.push_back(open(PathOf(i).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
            if (fds.back() < 0 || write(fds.back(), line.data(), line.size()) < 0) {
                *error = "open or write failed";
                return false;
            }
        }
        after = ResidentBytes();
    } else {
        *error = "unknown contender " + contender;
        return false;
    }
    if (before < 0 || after < 0) {
        *error = "cannot read /proc/self/statm";
        return false;
    }
    *value = static_cast<double>(after - before) / kMemoryLogs / 1024.0;
    // Leaving at once spares the teardown of a thousand logs; the parent
    // removes the files.
    return true;
}

// Ten logs, one record each, then the time to let them all go: dlclose of
// the library (its registry stops the maintenance thread and closes every
// log), or each peer's equivalent.
bool Unload(const std::string& contender, double* value, std::string* error) {
    if (contender == Vosk::kName) {
        VoskLibrary library;
        if (!library.Load(VoskLibrary::DefaultPath(), error)) {
            return false;
        }
        const int threadsBefore = ThreadCount();
        const VoskApi& api = library.Api();
        for (int i = 0; i < kUnloadLogs; ++i) {
            LogHandle log =
                api.createLog(WorkDirectory().c_str(), NameOf(i).c_str(), INT_MAX, kLevelThreshold);
            api.traceLog(log, kLevelWritten, kPrintfMessage, i);
        }
        Clock::time_point start = Clock::now();
        bool unloaded = library.Unload();
        *value = MillisecondsSince(start);
        if (!unloaded) {
            *error = "the library stayed loaded after dlclose";
            return false;
        }
        if (ThreadCount() >= threadsBefore) {
            *error = "a thread of the library outlived dlclose";
            return false;
        }
    } else if (contender == Spdlog::kName) {
        for (int i = 0; i < kUnloadLogs; ++i) {
            auto logger = spdlog::basic_logger_mt(NameOf(i), PathOf(i), true);
            logger->set_pattern(kSpdlogPattern);
            logger->flush_on(spdlog::level::trace);
            logger->info(kFmtMessage, i);
        }
        Clock::time_point start = Clock::now();
        spdlog::shutdown();
        *value = MillisecondsSince(start);
    } else if (contender == Stdio::kName) {
        std::vector<FILE*> files;
        for (int i = 0; i < kUnloadLogs; ++i) {
            files.push_back(fopen(PathOf(i).c_str(), "we"));
            if (files.back() == nullptr) {
                *error = "fopen failed";
                return false;
            }
            StdioRecord(files.back(), i);
        }
        Clock::time_point start = Clock::now();
        for (FILE* file : files) {
            fclose(file);
        }
        *value = MillisecondsSince(start);
    } else if (contender == Floor::kName) {
        std::vector<int> fds;
        const std::string line = FormattedLine(0);
        for (int i = 0; i < kUnloadLogs; ++i) {
            fds.push_back(open(PathOf(i).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
            if (fds.back() < 0 || write(fds.back(), line.data(), line.size()) < 0) {
                *error = "open or write failed";
                return false;
            }
        }
        Clock::time_point start = Clock::now();
        for (int fd : fds) {
            close(fd);
        }
        *value = MillisecondsSince(start);
    } else {
        *error = "unknown contender " + contender;
        return false;
    }
    return true;
}

std::string SelfPath() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) {
        return "";
    }
    path[n] = '\0';
    return path;
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

}  // namespace

const char* ProbeName(Probe probe) {
    return probe == Probe::kMemory ? "memory" : "unload";
}

bool ParseProbe(const std::string& name, Probe* probe) {
    if (name == "memory") {
        *probe = Probe::kMemory;
    } else if (name == "unload") {
        *probe = Probe::kUnload;
    } else {
        return false;
    }
    return true;
}

int RunProbe(Probe probe, const std::string& contender) {
    double value = 0;
    std::string error;
    bool ok = probe == Probe::kMemory ? MemoryPerLog(contender, &value, &error)
                                      : Unload(contender, &value, &error);
    if (ok) {
        printf("value %.6f\n", value);
    } else {
        printf("error %s\n", error.c_str());
    }
    fflush(stdout);
    // Whatever is still open is left to the system; a normal exit would
    // measure nothing more and could only take longer.
    _exit(ok ? 0 : 1);
}

bool SpawnProbe(Probe probe, const std::string& contender, double* value, std::string* error) {
    std::string command = Quoted(SelfPath()) + " --probe=" + ProbeName(probe) +
                          " --contender=" + contender + " --dir=" + Quoted(WorkDirectory()) +
                          " --library=" + Quoted(VoskLibrary::DefaultPath()) + " 2>&1";
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) {
        *error = "cannot start the probe";
        return false;
    }
    char line[512];
    bool found = false;
    *error = "the probe printed no result";
    while (fgets(line, sizeof(line), child) != nullptr) {
        line[strcspn(line, "\n")] = '\0';
        if (strncmp(line, "value ", 6) == 0) {
            *value = strtod(line + 6, nullptr);
            found = true;
        } else if (strncmp(line, "error ", 6) == 0) {
            *error = line + 6;
        }
    }
    pclose(child);
    return found;
}

}  // namespace bench
