#include "platform/HeldDirectory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/PosixOpen.h"
#include "platform/posix/PosixPath.h"

namespace vosk::platform {

struct HeldDirectory {
    int fd;
    // Where it was found first, every link resolved: the path it is made
    // again at.
    std::string resolved;
};

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Enough to go through a directory, not to list it: a parent the process
// may enter but not read (a home folder of mode 0711) is passed as any
// other. Where the system has no such open, a parent must be readable.
#if defined(O_PATH)
constexpr int kPassFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#elif defined(O_SEARCH)
constexpr int kPassFlags = O_SEARCH | O_DIRECTORY | O_CLOEXEC;
#elif defined(O_EXEC)
constexpr int kPassFlags = O_EXEC | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kPassFlags = kDirectoryFlags;
#endif

// The directory name in at, never a link: with flags that only pass
// through, some systems open a link itself rather than refuse it, so what
// was opened is checked too. -1 when it is not a directory.
int OpenDirectoryIn(int at, const char* name, int flags) {
    const int fd = openat(at, name, flags | O_NOFOLLOW);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode))) {
        close(fd);
        errno = ENOTDIR;
        return -1;
    }
    return fd;
}

HeldDirectory* Holding(int fd, std::string resolved) {
    return new (std::nothrow) HeldDirectory{fd, std::move(resolved)};
}

// Walks the '/'-separated components of path from start (not closed),
// making each that is missing, never through a link. The directories on
// the way are only passed through; the last one is opened for reading,
// since its entries are listed. The last directory, or -1.
int WalkMaking(int start, const char* path) {
    std::vector<std::string> components;
    for (const char* p = path; *p != '\0';) {
        const char* end = p;
        while (*end != '\0' && *end != '/') {
            ++end;
        }
        std::string component(p, static_cast<size_t>(end - p));
        p = *end == '/' ? end + 1 : end;
        if (!component.empty() && component != ".") {
            components.push_back(std::move(component));
        }
    }
    if (components.empty()) {
        return openat(start, ".", kDirectoryFlags);
    }
    int at = start;
    for (size_t k = 0; k < components.size(); ++k) {
        const char* name = components[k].c_str();
        const int flags = k + 1 == components.size() ? kDirectoryFlags : kPassFlags;
        int next = OpenDirectoryIn(at, name, flags);
        if (next < 0 && errno == ENOENT) {
            mkdirat(at, name, 0777);
            next = OpenDirectoryIn(at, name, flags);
        }
        if (at != start) {
            close(at);
        }
        if (next < 0) {
            return -1;
        }
        at = next;
    }
    return at;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

HeldDirectory* DirectoryHold(const char* path) {
    PosixPath p(path);
    if (p.c_str() == nullptr) {
        return nullptr;
    }
    const int fd = open(p.c_str(), kDirectoryFlags);
    if (fd < 0) {
        return nullptr;
    }
    // Resolved after the open and checked against it, so that a link
    // changed in between leaves nothing to make again rather than the
    // wrong place.
    std::string resolved;
    if (char* real = realpath(p.c_str(), nullptr)) {
        struct stat held;
        struct stat found;
        if (fstat(fd, &held) == 0 && stat(real, &found) == 0 && SameEntry(held, found)) {
            resolved = real;
        }
        free(real);
    }
    HeldDirectory* dir = Holding(fd, std::move(resolved));
    if (dir == nullptr) {
        close(fd);
    }
    return dir;
}

HeldDirectory* DirectoryHoldAgain(const HeldDirectory* held) {
    if (held == nullptr || held->resolved.empty() || held->resolved[0] != '/') {
        return nullptr;
    }
    const int root = open("/", kPassFlags);
    if (root < 0) {
        return nullptr;
    }
    const int fd = WalkMaking(root, held->resolved.c_str() + 1);
    close(root);
    if (fd < 0) {
        return nullptr;
    }
    HeldDirectory* dir = Holding(fd, held->resolved);
    if (dir == nullptr) {
        close(fd);
    }
    return dir;
}

HeldDirectory* DirectoryHoldBeneath(const HeldDirectory* parent, const char* name) {
    PosixPath p(name);
    if (parent == nullptr || p.c_str() == nullptr) {
        return nullptr;
    }
    const int fd = WalkMaking(parent->fd, p.c_str());
    if (fd < 0) {
        return nullptr;
    }
    HeldDirectory* dir =
        Holding(fd, parent->resolved.empty() ? std::string() : parent->resolved + "/" + p.c_str());
    if (dir == nullptr) {
        close(fd);
    }
    return dir;
}

void DirectoryRelease(HeldDirectory* held) {
    // Made by the hold calls, owned by their caller until now.
    std::unique_ptr<HeldDirectory> owned(held);
    if (owned != nullptr) {
        close(owned->fd);
    }
}

HeldDirectory* DirectoryHoldSame(const HeldDirectory* held) {
    if (held == nullptr) {
        return nullptr;
    }
    const int fd = fcntl(held->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return nullptr;
    }
    HeldDirectory* dir = Holding(fd, held->resolved);
    if (dir == nullptr) {
        close(fd);
    }
    return dir;
}

namespace {

// One component, taken as it is: a name that holds '\\' is a name here,
// not a path, since no path is made of it.
bool IsComponent(const char* name) {
    return name != nullptr && name[0] != '\0' && strchr(name, '/') == nullptr &&
           strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

}  // namespace

HeldDirectory* DirectoryOpenIn(const HeldDirectory* parent, const char* name) {
    if (parent == nullptr || !IsComponent(name)) {
        return nullptr;
    }
    // O_NOFOLLOW: a link at the name, swapped in at any moment, is refused.
    const int fd = openat(parent->fd, name, kDirectoryFlags | O_NOFOLLOW);
    if (fd < 0) {
        return nullptr;
    }
    HeldDirectory* dir =
        Holding(fd, parent->resolved.empty() ? std::string() : parent->resolved + "/" + name);
    if (dir == nullptr) {
        close(fd);
    }
    return dir;
}

bool EntryDeleteIn(const HeldDirectory* dir, const char* name) {
    struct stat st;
    if (dir == nullptr || !IsComponent(name) ||
        fstatat(dir->fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) {
        return false;
    }
    // A directory put there since fails to unlink: nothing in it is touched.
    return unlinkat(dir->fd, name, 0) == 0;
}

bool DirectoryRemoveIn(const HeldDirectory* dir, const char* name) {
    // A link there fails with ENOTDIR: removal never follows one.
    return dir != nullptr && IsComponent(name) && unlinkat(dir->fd, name, AT_REMOVEDIR) == 0;
}

bool DirectoryMakeWritableHeld(const HeldDirectory* dir) {
    struct stat st;
    if (dir == nullptr || fstat(dir->fd, &st) != 0) {
        return false;
    }
    return (st.st_mode & S_IWUSR) != 0 || fchmod(dir->fd, (st.st_mode & 07777) | S_IWUSR) == 0;
}

int HeldDescriptor(const HeldDirectory* held) {
    return held == nullptr ? -1 : held->fd;
}

bool DirectoryIsAt(const HeldDirectory* held, const char* path) {
    PosixPath p(path);
    struct stat a;
    struct stat b;
    return held != nullptr && p.c_str() != nullptr && fstat(held->fd, &a) == 0 &&
           stat(p.c_str(), &b) == 0 && SameEntry(a, b);
}

bool DirectorySame(const HeldDirectory* a, const HeldDirectory* b) {
    struct stat sa;
    struct stat sb;
    return a != nullptr && b != nullptr && fstat(a->fd, &sa) == 0 && fstat(b->fd, &sb) == 0 &&
           SameEntry(sa, sb);
}

EntryInfo EntryIn(const HeldDirectory* dir, const char* name) {
    EntryInfo info{EntryKind::kNone, 0, 0, 0, FileId{0, 0}};
    PosixPath p(name);
    struct stat st;
    if (dir == nullptr || p.c_str() == nullptr ||
        fstatat(dir->fd, p.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return info;
    }
    info.kind = S_ISREG(st.st_mode)   ? EntryKind::kPlainFile
                : S_ISDIR(st.st_mode) ? EntryKind::kDirectory
                                      : EntryKind::kOther;
    info.size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    info.writeTime = static_cast<int64_t>(st.st_mtime);
    info.writeTimeMs =
        static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    info.id = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return info;
}

int FileOpenIn(const HeldDirectory* dir, const char* name, int flags) {
    if (dir == nullptr) {
        errno = EBADF;
        return -1;
    }
    return OpenPlainFileAt(dir->fd, name, flags);
}

bool FileRenameIn(const HeldDirectory* dir, const char* from, const char* to) {
    PosixPath f(from);
    PosixPath t(to);
    return dir != nullptr && f.c_str() != nullptr && t.c_str() != nullptr &&
           renameat(dir->fd, f.c_str(), dir->fd, t.c_str()) == 0;
}

bool FileMoveNoReplaceIn(const HeldDirectory* fromDir, const char* from, const HeldDirectory* toDir,
                         const char* to) {
    PosixPath f(from);
    PosixPath t(to);
    if (fromDir == nullptr || toDir == nullptr || f.c_str() == nullptr || t.c_str() == nullptr) {
        return false;
    }
    return MoveNoReplaceAt(fromDir->fd, f.c_str(), toDir->fd, t.c_str());
}

}  // namespace vosk::platform
