#include "platform/DirectoryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Thread.h"
#include "platform/Time.h"
#include "platform/posix/PosixOpen.h"

namespace vosk::platform {

DirectoryLock::DirectoryLock(const HeldDirectory* dir) {
    const int held = HeldDescriptor(dir);
    if (held < 0) {
        return;
    }
    const int fd = openat(held, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    // Never a blocking wait: it is taken under the log's own lock, so
    // another program holding it would stall every writer of the log (and
    // a fork, whose handlers take that lock) for as long as it liked.
    const int64_t deadline = MonotonicMs() + kDirectoryLockWaitMs;
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            return;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || MonotonicMs() >= deadline) {
            close(fd);
            return;
        }
        SleepMs(1);
    }
}

DirectoryLock::~DirectoryLock() {
    if (fd_ >= 0) {
        // Unlocked before the close: a child forked meanwhile holds a copy
        // of the descriptor, and the close alone would leave the lock held
        // until that child ends.
        flock(fd_, LOCK_UN);
        close(fd_);
    }
}

}  // namespace vosk::platform
