#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/Files.h"
#include "platform/posix/PosixOpen.h"
#include "platform/posix/PosixPath.h"

namespace vosk::platform {

static_assert(kPathLimit == PATH_MAX, "the path limit");

int FileOpen(const char* path, int flags) {
    return OpenPlainFileAt(AT_FDCWD, path, flags);
}

int OpenPlainFileAt(int dirfd, const char* path, int flags) {
    PosixPath p(path);
    if (p.c_str() == nullptr) {
        errno = EINVAL;
        return -1;
    }
    // No link is followed at the last component, and the open never waits
    // (a FIFO without a reader would hold it for ever).
    int oflag = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    if ((flags & kOpenCreate) != 0) {
        oflag |= O_CREAT;
    }
    if ((flags & kOpenTruncate) != 0) {
        oflag |= O_TRUNC;
    }
    if ((flags & kOpenAppend) != 0) {
        oflag |= O_APPEND;
    }
    // Readable and writable by everyone the umask lets through, as a file
    // created by any ordinary program.
    int fd;
    do {
        fd = openat(dirfd, p.c_str(), oflag, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -1;
    }
    // Whatever was opened, only a plain file is kept; writes to it block
    // as ordinary file writes do.
    struct stat st;
    int failure = 0;
    if (fstat(fd, &st) != 0) {
        failure = errno;
    } else if (!S_ISREG(st.st_mode)) {
        failure = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
    } else {
        int status = fcntl(fd, F_GETFL);
        if (status == -1 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
            failure = errno;
        }
    }
    if (failure != 0) {
        close(fd);
        errno = failure;
        return -1;
    }
    return fd;
}

long FileWrite(int fd, const void* data, size_t size) {
    // Refused before the system sees them, as platform/Files.h promises.
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (data == nullptr && size != 0) {
        errno = EINVAL;
        return -1;
    }
    ssize_t n;
    do {
        n = write(fd, data, size);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

bool FileSync(int fd) {
    return fd >= 0 && fsync(fd) == 0;
}

int FileClose(int fd) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    return close(fd);
}

bool FileTakeBack(int fd, const char*, size_t size) {
    const off_t end = lseek(fd, 0, SEEK_CUR);
    struct stat st;
    if (end < 0 || static_cast<uint64_t>(size) > static_cast<uint64_t>(end) ||
        fstat(fd, &st) != 0 || st.st_size != end) {
        return false;
    }
    int result;
    do {
        result = ftruncate(fd, end - static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool FileExists(const char* path) {
    PosixPath p(path);
    return p.c_str() != nullptr && access(p.c_str(), F_OK) == 0;
}

bool PathIsDirectory(const char* path) {
    PosixPath p(path);
    struct stat st;
    return p.c_str() != nullptr && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileIdOf(int fd, FileId* id) {
    struct stat st;
    if (id == nullptr || fd < 0 || fstat(fd, &st) != 0) {
        return false;
    }
    id->volume = static_cast<uint64_t>(st.st_dev);
    id->index = static_cast<uint64_t>(st.st_ino);
    return true;
}

int64_t FileSizeOf(const char* path) {
    PosixPath p(path);
    struct stat st;
    if (p.c_str() == nullptr || stat(p.c_str(), &st) != 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

int64_t FileSizeOfOpen(int fd) {
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

bool DirectoryMake(const char* path) {
    PosixPath p(path);
    return p.c_str() != nullptr && mkdir(p.c_str(), 0777) == 0;
}

std::string PathFromHostText(const char* text) {
    return text == nullptr ? std::string() : std::string(text);
}

}  // namespace vosk::platform
