#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/Process.h"

namespace vosk::platform {

namespace {

// An inheritable copy of handle for the child; null when there is none.
HANDLE Inheritable(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

void CloseIfSet(HANDLE handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
}

}  // namespace

bool ProcessStart(const char* command, const char* argument, ChildProcess* child, int* error) {
    // The argument quoted as the runtime's argument parser reads it back:
    // backslashes before a quote doubled, the quote escaped.
    std::string line = std::string(command) + " \"";
    size_t backslashes = 0;
    for (const char* c = argument; *c != '\0'; ++c) {
        if (*c == '\\') {
            ++backslashes;
        } else {
            if (*c == '"') {
                line.append(backslashes + 1, '\\');
            }
            backslashes = 0;
        }
        line += *c;
    }
    line.append(backslashes, '\\');
    line += '"';

    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    HANDLE output = Inheritable(GetStdHandle(STD_ERROR_HANDLE));
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info = {};
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &info);
    const DWORD failure = GetLastError();
    CloseIfSet(input);
    CloseIfSet(output);
    if (!started) {
        *error = failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND ? ENOENT
                 : failure == ERROR_ACCESS_DENIED                                   ? EACCES
                                                                                    : EINVAL;
        return false;
    }
    CloseHandle(info.hThread);
    child->handle = reinterpret_cast<intptr_t>(info.hProcess);
    return true;
}

ProcessState ProcessPoll(ChildProcess* child, int* code) {
    if (child->handle == -1) {
        *code = 0;
        return ProcessState::kExited;
    }
    HANDLE process = reinterpret_cast<HANDLE>(child->handle);
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        return ProcessState::kRunning;
    }
    DWORD exitCode = 0;
    *code = GetExitCodeProcess(process, &exitCode) ? static_cast<int>(exitCode) : -1;
    CloseHandle(process);
    child->handle = -1;
    return ProcessState::kExited;
}

}  // namespace vosk::platform
