#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "platform/CatchAll.h"
#include "platform/Directory.h"
#include "platform/posix/PosixOpen.h"
#include "platform/posix/PosixPath.h"

namespace vosk::platform {

struct DirSearch {
    DIR* dir = nullptr;
    std::string prefix;

    DirSearch() = default;
    DirSearch(const DirSearch&) = delete;
    DirSearch& operator=(const DirSearch&) = delete;
    ~DirSearch() {
        if (dir != nullptr) {
            closedir(dir);
        }
    }
};

namespace {

// FILETIME counts 100 ns units from 1601-01-01; 1970 is this many seconds later.
constexpr int64_t kEpochOffsetSeconds = 11644473600LL;

uint64_t AsFileTime(int64_t seconds, uint32_t nanoseconds) {
    int64_t since1601 = seconds + kEpochOffsetSeconds;
    if (since1601 < 0) {
        return 0;
    }
    return static_cast<uint64_t>(since1601) * 10000000u + nanoseconds / 100u;
}

// Describes one name of the open directory without following a link. The
// birth time stands for the creation time where the file system records
// one; otherwise the status-change time is the nearest thing.
bool Describe(DIR* dir, const char* name, DirEntry* entry) {
    struct statx sx;
    int rc = statx(dirfd(dir), name, AT_SYMLINK_NOFOLLOW,
                   STATX_TYPE | STATX_SIZE | STATX_CTIME | STATX_BTIME, &sx);
    mode_t mode;
    uint64_t created;
    int64_t size;
    if (rc == 0) {
        mode = sx.stx_mode;
        size = static_cast<int64_t>(sx.stx_size);
        // Some file systems claim a birth time and give the epoch.
        bool born = (sx.stx_mask & STATX_BTIME) != 0 &&
                    (sx.stx_btime.tv_sec != 0 || sx.stx_btime.tv_nsec != 0);
        const struct statx_timestamp& t = born ? sx.stx_btime : sx.stx_ctime;
        created = AsFileTime(t.tv_sec, t.tv_nsec);
    } else {
        // Kernels or sandboxes without statx.
        struct stat st;
        if (errno != ENOSYS || fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return false;
        }
        mode = st.st_mode;
        size = static_cast<int64_t>(st.st_size);
        created = AsFileTime(st.st_ctim.tv_sec, static_cast<uint32_t>(st.st_ctim.tv_nsec));
    }
    size_t n = strlen(name);
    memcpy(entry->name, name, n + 1);
    entry->isDirectory = S_ISDIR(mode);
    entry->isLink = S_ISLNK(mode);
    entry->createTime = created;
    entry->size = S_ISREG(mode) ? size : 0;
    // Paths given to this layer use '\' as a separator too, so a path made
    // of such a name would name something else ("..\\x" a file elsewhere).
    entry->addressable = strchr(name, '\\') == nullptr;
    return true;
}

// Every name fits an entry on the systems we know (NAME_MAX is 255); one
// that did not could not be reported whole.
bool Reportable(const char* name) {
    return strlen(name) < kNameLimit;
}

// Deepest nesting that DeleteAt descends into; each level holds a
// descriptor.
constexpr int kDeleteDepthLimit = 64;

// Deletes name in the directory dirFd, without a path: a directory with
// everything in it, anything else (links included) by unlinking its name.
bool DeleteAt(int dirFd, const char* name, int depth) {
    struct stat st;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISDIR(st.st_mode)) {
        return unlinkat(dirFd, name, 0) == 0;
    }
    if (depth >= kDeleteDepthLimit) {
        return false;
    }
    // O_NOFOLLOW: a link swapped in meanwhile is not entered.
    int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // Its entries can only go when it is writable, as the cleanup makes
    // every directory it removes.
    if ((st.st_mode & S_IWUSR) == 0) {
        fchmod(fd, (st.st_mode & 07777) | S_IWUSR);
    }
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return false;
    }
    for (struct dirent* d = readdir(dir); d != nullptr; d = readdir(dir)) {
        if (strcmp(d->d_name, ".") != 0 && strcmp(d->d_name, "..") != 0) {
            DeleteAt(dirfd(dir), d->d_name, depth + 1);
        }
    }
    closedir(dir);
    return unlinkat(dirFd, name, AT_REMOVEDIR) == 0;
}

bool Next(DirSearch* search, DirEntry* entry) {
    for (;;) {
        errno = 0;
        struct dirent* d = readdir(search->dir);
        if (d == nullptr) {
            return false;
        }
        const char* name = d->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || !Reportable(name) ||
            strncmp(name, search->prefix.c_str(), search->prefix.size()) != 0) {
            continue;
        }
        // A name that vanished since it was read is passed over.
        if (Describe(search->dir, name, entry)) {
            return true;
        }
    }
}

// The search proper; DirFindFirst catches what its allocations throw.
// The caller owns the search returned, and DirFindClose ends it.
// *directoryFd, when not -1, is the directory's own descriptor: the search
// takes it once nothing can throw any more, and sets it to -1.
DirSearch* FindFirst(const char* directory, int* directoryFd, const char* prefix, DirEntry* entry) {
    auto search = std::make_unique<DirSearch>();
    search->prefix = prefix;
    if (*directoryFd >= 0) {
        search->dir = fdopendir(*directoryFd);
        if (search->dir == nullptr) {
            close(*directoryFd);
        }
        *directoryFd = -1;
    } else {
        search->dir = opendir(PosixPath(directory).c_str());
    }
    if (search->dir == nullptr || !Next(search.get(), entry)) {
        return nullptr;
    }
    return search.release();
}

}  // namespace

DirSearch* DirFindFirst(const char* directory, const char* prefix, DirEntry* entry) {
    if (directory == nullptr || prefix == nullptr || entry == nullptr) {
        return nullptr;
    }
    // Without memory nothing can be enumerated.
    DirSearch* search = nullptr;
    int none = -1;
    CatchAll([&] { search = FindFirst(directory, &none, prefix, entry); });
    return search;
}

DirSearch* DirFindFirstIn(const HeldDirectory* directory, const char* prefix, DirEntry* entry) {
    const int held = HeldDescriptor(directory);
    if (held < 0 || prefix == nullptr || entry == nullptr) {
        return nullptr;
    }
    // A descriptor of its own, opened from the one held, never by path: the
    // search reads that directory wherever it is moved.
    int fd = openat(held, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    DirSearch* search = nullptr;
    CatchAll([&] { search = FindFirst(nullptr, &fd, prefix, entry); });
    if (fd >= 0) {
        close(fd);  // not taken: the search could not be made
    }
    return search;
}

bool DirFindNext(DirSearch* search, DirEntry* entry) {
    if (search == nullptr || entry == nullptr) {
        return false;
    }
    return Next(search, entry);
}

bool DirDeleteEntry(DirSearch* search, const DirEntry* entry) {
    if (search == nullptr || search->dir == nullptr || entry == nullptr ||
        strcmp(entry->name, ".") == 0 || strcmp(entry->name, "..") == 0) {
        return false;  // never the directory searched or its parent
    }
    return DeleteAt(dirfd(search->dir), entry->name, 0);
}

void DirFindClose(DirSearch* search) {
    std::unique_ptr<DirSearch> closed(search);
}

}  // namespace vosk::platform
