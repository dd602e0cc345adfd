#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Files.h"
#include "platform/posix/PosixPath.h"

namespace vosk::platform {

bool FileDelete(const char* path) {
    if (path == nullptr) {
        return false;
    }
    PosixPath p(path);
    // unlink() of a directory fails on Linux, but not on every system.
    struct stat st;
    if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return false;
    }
    return unlink(p.c_str()) == 0;
}

bool DirectoryRemove(const char* path) {
    if (path == nullptr) {
        return false;
    }
    PosixPath p(path);
    return rmdir(p.c_str()) == 0;
}

// Windows clears the read-only attribute; the nearest thing here is the
// owner's write permission. Bits are only added, so a directory keeps its
// search permission. The entry is opened without following a link and
// changed through that handle, so a link swapped in meanwhile is not
// followed either.
bool PathMakeWritable(const char* path) {
    if (path == nullptr) {
        return false;
    }
    PosixPath p(path);
    int fd = open(p.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = false;
    struct stat st;
    if (fstat(fd, &st) == 0 && !S_ISLNK(st.st_mode)) {
        mode_t mode = st.st_mode & 07777;
        // A file with other names shares its mode with them, and they may
        // lie anywhere: it stays as it is. Unlinking a name needs no
        // permission on the file itself here.
        if ((mode & S_IWUSR) != 0 || (!S_ISDIR(st.st_mode) && st.st_nlink > 1)) {
            ok = true;
        } else {
            char self[48];
            snprintf(self, sizeof(self), "/proc/self/fd/%d", fd);
            ok = chmod(self, mode | S_IWUSR) == 0;
            if (!ok && errno == ENOENT) {
                // No /proc: the library call refuses links by itself.
                ok = fchmodat(AT_FDCWD, p.c_str(), mode | S_IWUSR, AT_SYMLINK_NOFOLLOW) == 0;
            }
        }
    }
    close(fd);
    return ok;
}

}  // namespace vosk::platform
