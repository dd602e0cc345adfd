#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Files.h"
#include "platform/posix/PosixOpen.h"

namespace vosk::platform {

int DirectoryLockOn(int fd) {
    if (fd < 0) {
        return kNoDirectoryLock;
    }
    int locked;
    do {
        locked = flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        close(fd);
        return kNoDirectoryLock;
    }
    return fd;
}

void DirectoryLockRelease(int lock) {
    if (lock != kNoDirectoryLock) {
        // Unlocked before the close: a child forked meanwhile holds a copy
        // of the descriptor, and the close alone would leave the lock held
        // until that child ends.
        flock(lock, LOCK_UN);
        close(lock);
    }
}

}  // namespace vosk::platform
