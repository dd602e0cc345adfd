#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <climits>

#include "platform/FileRead.h"
#include "platform/win32/WideText.h"

namespace vosk::platform {

namespace {

// FILETIME counts 100 ns from 1601; milliseconds from 1970.
int64_t MsSince1970(const FILETIME& time) {
    const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                               time.dwLowDateTime);
    return ticks / 10000 - 11644473600000LL;
}

bool HandleStatus(HANDLE handle, FileStatus* status) {
    BY_HANDLE_FILE_INFORMATION info;
    if (status == nullptr || handle == INVALID_HANDLE_VALUE ||
        !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    status->id.volume = info.dwVolumeSerialNumber;
    status->id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    status->size =
        static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    status->writeTimeMs = MsSince1970(info.ftLastWriteTime);
    return true;
}

}  // namespace

int FileOpenRead(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    // Shared with the log that writes it and moves it aside, and with
    // whatever deletes it: reading never makes their calls fail.
    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, FALSE};
    HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return -1;
    }
    FileStatus status;
    if (GetFileType(handle) != FILE_TYPE_DISK || !HandleStatus(handle, &status)) {
        CloseHandle(handle);
        errno = ENXIO;
        return -1;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd == -1) {
        CloseHandle(handle);
    }
    return fd;
}

long FileRead(int fd, void* data, size_t size) {
    if (fd < 0 || (data == nullptr && size != 0)) {
        errno = EBADF;
        return -1;
    }
    unsigned int n =
        size > INT_MAX ? static_cast<unsigned int>(INT_MAX) : static_cast<unsigned int>(size);
    return _read(fd, data, n);
}

bool FileSeek(int fd, int64_t offset) {
    return fd >= 0 && _lseeki64(fd, offset, SEEK_SET) == offset;
}

bool FileStatusOf(int fd, FileStatus* status) {
    if (fd < 0) {
        return false;
    }
    return HandleStatus(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), status);
}

bool PathFileStatus(const char* path, FileStatus* status) {
    if (path == nullptr) {
        return false;
    }
    HANDLE handle = CreateFileW(WidePath(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool known = HandleStatus(handle, status);
    CloseHandle(handle);
    return known;
}

}  // namespace vosk::platform
