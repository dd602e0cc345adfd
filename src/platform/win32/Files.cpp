#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/Platform.h"

namespace vosk::platform {

const int kPathLimit = 260;

int FileOpen(const char* path, int flags) {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    // Text mode: every line feed written is stored as CR LF. Shared with
    // other readers and writers, and not handed down to child processes.
    int oflag = _O_RDWR | _O_TEXT | _O_NOINHERIT;
    if ((flags & kOpenCreate) != 0) {
        oflag |= _O_CREAT;
    }
    if ((flags & kOpenTruncate) != 0) {
        oflag |= _O_TRUNC;
    }
    if ((flags & kOpenAppend) != 0) {
        oflag |= _O_APPEND;
    }
    int fd = -1;
    if (_sopen_s(&fd, path, oflag, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0) {
        return -1;
    }
    return fd;
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
    return path != nullptr && _access(path, 0) == 0;
}

bool PathIsDirectory(const char* path) {
    struct _stat64 st;
    return path != nullptr && _stat64(path, &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}

int64_t FileSizeOf(const char* path) {
    struct _stat64 st;
    if (path == nullptr || _stat64(path, &st) != 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

bool FileRename(const char* from, const char* to) {
    return from != nullptr && to != nullptr && rename(from, to) == 0;
}

bool DirectoryMake(const char* path) {
    return path != nullptr && _mkdir(path) == 0;
}

}  // namespace vosk::platform
