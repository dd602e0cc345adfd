#include <windows.h>

#include <cerrno>

#include "platform/win32/PathCalls.h"
#include "platform/win32/WideText.h"

namespace vosk::platform {

bool FileMoveNoReplace(const char* from, const char* to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (from == nullptr || to == nullptr) {
        errno = EINVAL;
        return false;
    }
    if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), 0) != 0) {
        return true;
    }
    const DWORD error = GetLastError();
    errno = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? EEXIST : EACCES;
    return false;
}

bool FileWriteTime(const char* path, int64_t* seconds) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path == nullptr || seconds == nullptr ||
        !GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    ULARGE_INTEGER ticks;
    ticks.LowPart = data.ftLastWriteTime.dwLowDateTime;
    ticks.HighPart = data.ftLastWriteTime.dwHighDateTime;
    // 100-ns ticks since 1601 to seconds since 1970.
    *seconds = static_cast<int64_t>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
    return true;
}

}  // namespace vosk::platform
