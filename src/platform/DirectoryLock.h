// An advisory lock on a directory, held by a process while it moves a log's
// file aside and opens the next one there, or compresses a file in a day
// folder, so that two processes doing it in one directory (a forked child,
// two programs given the same path) never do it at the same moment.
// Taken when made, released when it goes out of scope.
#pragma once

#include <cstdint>

namespace vosk::platform {

struct HeldDirectory;

// The longest the lock is tried for: another program may hold it as long
// as it likes, and it is taken under the log's own lock.
constexpr int32_t kDirectoryLockWaitMs = 20;

class DirectoryLock {
  public:
    // Tries for up to kDirectoryLockWaitMs. When the lock is not had by
    // then, or dir is null or cannot be locked, Held() is false and the
    // caller goes on unlocked. POSIX: flock() on a descriptor of its own,
    // so that a forked child, which shares its parent's open files, is
    // excluded too. Windows: never held (no fork there; see the README on
    // two processes appending to one file).
    explicit DirectoryLock(const HeldDirectory* dir);
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace vosk::platform
