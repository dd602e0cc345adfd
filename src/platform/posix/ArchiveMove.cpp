#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/ArchiveMove.h"
#include "platform/posix/PosixOpen.h"

namespace vosk::platform {

bool PathIsRealDirectory(const char* path) {
    struct stat st;
    return path != nullptr && lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileMoveNoReplace(const char* from, const char* to) {
    return from != nullptr && to != nullptr && MoveNoReplaceAt(AT_FDCWD, from, AT_FDCWD, to);
}

bool MoveNoReplaceAt(int fromDir, const char* from, int toDir, const char* to) {
    if (renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a link never replaces either, and the
    // old name goes once the new one holds the file.
    if (linkat(fromDir, from, toDir, to, 0) != 0) {
        return false;
    }
    if (unlinkat(fromDir, from, 0) != 0) {
        unlinkat(toDir, to, 0);
        return false;
    }
    return true;
}

bool FileWriteTime(const char* path, int64_t* seconds) {
    struct stat st;
    if (path == nullptr || seconds == nullptr || lstat(path, &st) != 0) {
        return false;
    }
    *seconds = static_cast<int64_t>(st.st_mtime);
    return true;
}

}  // namespace vosk::platform
