// Runs the reliability host (host/ReliabilityHost.cpp) as a child program
// of its own, which loads the library with dlopen and calls its exports.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace vosk::test {

struct HostRun {
    int status = -1;
    std::string output;

    bool ExitedWith(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    std::string Describe() const {
        if (WIFSIGNALED(status)) {
            return "killed by signal " + std::to_string(WTERMSIG(status)) + ": " + output;
        }
        return "status " + std::to_string(status) + ": " + output;
    }
};

// Runs the host with the scenario and its arguments; its standard output.
// environment: assignments put before the command.
inline HostRun RunHost(const std::string& scenario, const std::string& arguments,
                       const std::string& environment = "") {
    std::string command = environment + " " + VOSK_RELIABILITY_HOST + " " + scenario + " " +
                          VOSK_LIBRARY + " " + arguments;
    HostRun run;
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) {
        return run;
    }
    char chunk[256];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, out)) {
        run.output.append(chunk, n);
    }
    run.status = pclose(out);
    return run;
}

inline std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// For hosts whose threads are still running when the process ends, or
// whose child inherits what the parent's threads held on their stacks: the
// leak checker can neither stop such threads nor see those stacks.
constexpr char kNoLeakCheck[] = "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\"";

}  // namespace vosk::test
