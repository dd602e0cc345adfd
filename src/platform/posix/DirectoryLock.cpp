#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Files.h"
#include "platform/Thread.h"
#include "platform/Time.h"
#include "platform/posix/PosixOpen.h"

namespace vosk::platform {

int DirectoryLockOn(int fd) {
    if (fd < 0) {
        return kNoDirectoryLock;
    }
    // Never a blocking wait: it is taken under the log's own lock, so
    // another program holding it would stall every writer of the log (and
    // a fork, whose handlers take that lock) for as long as it liked.
    const int64_t deadline = MonotonicMs() + kDirectoryLockWaitMs;
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return fd;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || MonotonicMs() >= deadline) {
            close(fd);
            return kNoDirectoryLock;
        }
        SleepMs(1);
    }
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
