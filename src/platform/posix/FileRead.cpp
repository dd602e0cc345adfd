#include "platform/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/PosixPath.h"

namespace vosk::platform {

namespace {

void StatusFrom(const struct stat& st, FileStatus* status) {
    status->id.volume = static_cast<uint64_t>(st.st_dev);
    status->id.index = static_cast<uint64_t>(st.st_ino);
    status->size = static_cast<int64_t>(st.st_size);
    status->writeTimeMs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 +
                          static_cast<int64_t>(st.st_mtim.tv_nsec / 1000000);
}

}  // namespace

int FileOpenRead(const char* path) {
    PosixPath p(path);
    if (p.c_str() == nullptr) {
        errno = EINVAL;
        return -1;
    }
    // Never waits for a FIFO's writer; only a plain file is kept.
    int fd;
    do {
        fd = open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = ENXIO;
        return -1;
    }
    return fd;
}

long FileRead(int fd, void* data, size_t size) {
    ssize_t n;
    do {
        n = read(fd, data, size);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

bool FileSeek(int fd, int64_t offset) {
    return lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool FileStatusOf(int fd, FileStatus* status) {
    struct stat st;
    if (status == nullptr || fd < 0 || fstat(fd, &st) != 0) {
        return false;
    }
    StatusFrom(st, status);
    return true;
}

bool PathFileStatus(const char* path, FileStatus* status) {
    PosixPath p(path);
    struct stat st;
    if (status == nullptr || p.c_str() == nullptr || stat(p.c_str(), &st) != 0 ||
        !S_ISREG(st.st_mode)) {
        return false;
    }
    StatusFrom(st, status);
    return true;
}

}  // namespace vosk::platform
