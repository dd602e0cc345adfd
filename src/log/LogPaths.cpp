#include "log/LogPaths.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/Files.h"

namespace vosk {

namespace {

bool IsAbsolute(const char* path) {
    return path[0] == '/' || path[0] == '\\' || (path[0] != '\0' && path[1] == ':');
}

}  // namespace

bool ResolveDirectory(const char* text, const char* executableDirectory, StringBuffer& out) {
    if (text == nullptr) {
        return false;
    }
    if (executableDirectory == nullptr) {
        executableDirectory = "";
    }
    StringBuffer trimmed(text);
    trimmed.Trim();
    if (trimmed.Length() == 0) {
        if (executableDirectory[0] == '\0') {
            trimmed.Assign("./log_files");
        } else {
            trimmed.Format("%s/log_files", executableDirectory);
        }
        trimmed.Trim();
    }
    if (IsAbsolute(trimmed.CStr()) || executableDirectory[0] == '\0') {
        out.Assign(trimmed.CStr());
    } else {
        out.Format("%s/%s", executableDirectory, trimmed.CStr());
    }
    return true;
}

int32_t FileSize(const char* path) {
    int64_t size = platform::FileSizeOf(path);
    if (size < 0) {
        return 0;
    }
    return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
}

void MakeParentDirectories(const char* path) {
    if (path == nullptr) {
        return;
    }
    size_t start = 0;
    if (path[0] == '\\' && path[1] == '\\') {
        // \\server\share\...: only what follows an administrative share
        // ("C$") can be created.
        const char* dollar = strchr(path, '$');
        if (dollar == nullptr) {
            return;
        }
        start = static_cast<size_t>(dollar - path);
    }
    const size_t limit = static_cast<size_t>(platform::kPathLimit);
    std::string prefix;
    for (size_t k = start; path[k] != '\0'; ++k) {
        if (path[k] != '/' && path[k] != '\\') {
            continue;
        }
        // The prefix and its NUL must fit the system's path limit.
        if (k >= limit) {
            return;
        }
        if (k == 0) {
            continue;  // the root: nothing to create
        }
        prefix.assign(path, k);
        if (!platform::FileExists(prefix.c_str())) {
            platform::DirectoryMake(prefix.c_str());
        }
    }
}

int OpenCreating(const char* path, int flags) {
    if (path == nullptr) {
        return -1;
    }
    if ((flags & platform::kOpenCreate) != 0) {
        MakeParentDirectories(path);
    }
    return platform::FileOpen(path, flags);
}

}  // namespace vosk
