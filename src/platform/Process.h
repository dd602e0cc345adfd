// Starting a command beside the running program and asking, without
// waiting, whether it has ended.
#pragma once

#include <cstdint>

namespace vosk::platform {

struct ChildProcess {
    // A process id on POSIX, a process handle on Windows; -1 for none.
    intptr_t handle = -1;
};

// Starts the command line command (through /bin/sh on POSIX, as given on
// Windows) with argument added as its last argument, unchanged. Its
// standard input reads the null device; its standard output and error are
// this program's standard error. False, with an errno value in *error,
// when it cannot be started.
bool ProcessStart(const char* command, const char* argument, ChildProcess* child, int* error);

enum class ProcessState { kRunning, kExited, kKilled };
// Whether the child still runs; once it ended, its exit code (kExited) or
// the signal that ended it (kKilled) in *code, and the child is gone
// (handle -1).
ProcessState ProcessPoll(ChildProcess* child, int* code);

}  // namespace vosk::platform
