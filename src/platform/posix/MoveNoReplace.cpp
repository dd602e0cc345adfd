#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/PosixOpen.h"

namespace vosk::platform {

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

}  // namespace vosk::platform
