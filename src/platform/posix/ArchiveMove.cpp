#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/ArchiveMove.h"

namespace vosk::platform {

bool PathIsRealDirectory(const char* path) {
    struct stat st;
    return path != nullptr && lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileMoveNoReplace(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) {
        return false;
    }
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a link never replaces either, and the
    // old name goes once the new one holds the file.
    if (link(from, to) != 0) {
        return false;
    }
    if (unlink(from) != 0) {
        unlink(to);
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
