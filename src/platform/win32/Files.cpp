#include <windows.h>

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/Files.h"
#include "platform/win32/PathCalls.h"
#include "platform/win32/WideText.h"

namespace vosk::platform {

static_assert(kPathLimit == 32767, "the extended-length path limit");

namespace {

// The identity of an open handle; false when the system cannot tell.
bool HandleId(HANDLE handle, FileId* id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (id == nullptr || handle == INVALID_HANDLE_VALUE ||
        !GetFileInformationByHandle(handle, &info)) {
        return false;
    }
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        default:
            return EINVAL;
    }
}

}  // namespace

int FileOpen(const char* path, int flags) {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    // Shared with other readers and writers, and with other programs that
    // move or delete it (a rotation tool, a shipper): the idle pass then
    // finds the file gone from its path and opens a new one there. Not
    // handed down to child processes. A reparse point (a symbolic link, a
    // junction) is opened as itself, so that it is recognised below and
    // never followed.
    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, FALSE};
    DWORD disposition = (flags & kOpenCreate) != 0 ? OPEN_ALWAYS : OPEN_EXISTING;
    HANDLE handle =
        CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security, disposition,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ErrnoOf(GetLastError());
        return -1;
    }
    // Only a plain file on a disk is kept: not a device, a pipe, a link.
    BY_HANDLE_FILE_INFORMATION info;
    bool plain =
        GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    // Emptied only once it is known to be a plain file.
    if (!plain || ((flags & kOpenTruncate) != 0 && !SetEndOfFile(handle))) {
        CloseHandle(handle);
        errno = plain ? EACCES : EINVAL;
        return -1;
    }
    // Text mode: every line feed written is stored as CR LF.
    int oflag = ((flags & kOpenBinary) != 0 ? _O_BINARY : _O_TEXT) |
                ((flags & kOpenAppend) != 0 ? _O_APPEND : 0);
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), oflag);
    if (fd == -1) {
        CloseHandle(handle);
    }
    return fd;
}

bool FileSync(int fd) {
    return fd >= 0 && _commit(fd) == 0;
}

long FileWrite(int fd, const void* data, size_t size) {
    // Checked here so that the Windows runtime's invalid-parameter handler
    // never sees a bad descriptor or buffer.
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (data == nullptr && size != 0) {
        errno = EINVAL;
        return -1;
    }
    // _write takes an unsigned int; a larger piece is written in part, as
    // a short write() would be.
    unsigned int n =
        size > INT_MAX ? static_cast<unsigned int>(INT_MAX) : static_cast<unsigned int>(size);
    return _write(fd, data, n);
}

int FileClose(int fd) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    return _close(fd);
}

bool FileExists(const char* path) {
    return path != nullptr && GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PathIsDirectory(const char* path) {
    // Followed as stat() follows it: a link to a directory counts.
    struct _stat64 st;
    return path != nullptr && _wstat64(WidePath(path).c_str(), &st) == 0 &&
           (st.st_mode & _S_IFDIR) != 0;
}

bool FileIdOf(int fd, FileId* id) {
    if (fd < 0) {
        return false;
    }
    return HandleId(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), id);
}

bool PathFileId(const char* path, FileId* id) {
    if (path == nullptr) {
        return false;
    }
    // No access asked for: the file's status only, whoever holds it open.
    HANDLE handle = CreateFileW(
        WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool known = HandleId(handle, id);
    CloseHandle(handle);
    return known;
}

bool FileTakeBack(int fd, const char* data, size_t size) {
    if (fd < 0 || (data == nullptr && size != 0)) {
        return false;
    }
    // Text mode wrote a carriage return before each line feed.
    int64_t onDisk = static_cast<int64_t>(size);
    for (size_t i = 0; i < size; ++i) {
        onDisk += data[i] == '\n' ? 1 : 0;
    }
    const int64_t end = _telli64(fd);
    const int64_t length = _filelengthi64(fd);
    if (end < 0 || onDisk > end || length != end) {
        return false;
    }
    return _chsize_s(fd, end - onDisk) == 0;
}

int64_t FileSizeOf(const char* path) {
    struct _stat64 st;
    if (path == nullptr || _wstat64(WidePath(path).c_str(), &st) != 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

int64_t FileSizeOfOpen(int fd) {
    struct _stat64 st;
    if (fd < 0 || _fstat64(fd, &st) != 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

bool FileRename(const char* from, const char* to) {
    // rename() refuses an existing target; this replaces it in one step,
    // and a failing move leaves both files.
    return from != nullptr && to != nullptr &&
           MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool DirectoryMake(const char* path) {
    return path != nullptr && CreateDirectoryW(WidePath(path).c_str(), nullptr) != 0;
}

}  // namespace vosk::platform
