#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "platform/Platform.h"
#include "platform/posix/NameMatch.h"
#include "platform/posix/PosixPath.h"

namespace vosk::platform {

struct DirSearch {
    DIR* dir = nullptr;
    std::string pattern;  // the last component of the pattern given
    int nextDot = 0;      // 0: "." is still to come, 1: "..", 2: the directory's own entries
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
    int rc =
        statx(dirfd(dir), name, AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_CTIME | STATX_BTIME, &sx);
    mode_t mode;
    uint64_t created;
    if (rc == 0) {
        mode = sx.stx_mode;
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
        created = AsFileTime(st.st_ctim.tv_sec, static_cast<uint32_t>(st.st_ctim.tv_nsec));
    }
    size_t n = strlen(name);
    memcpy(entry->name, name, n + 1);
    entry->isDirectory = S_ISDIR(mode);
    entry->isLink = S_ISLNK(mode);
    entry->createTime = created;
    return true;
}

// Paths given to this layer use '\' as a separator too, so a name holding
// one could never be addressed again: "..\\x" would name a file elsewhere.
// Such names, and names too long for an entry, are not reported.
bool Reportable(const char* name) {
    return strlen(name) < kNameLimit && strchr(name, '\\') == nullptr;
}

bool Next(DirSearch* search, DirEntry* entry) {
    // "." and ".." first, as an NTFS directory lists them.
    while (search->nextDot < 2) {
        const char* dot = search->nextDot == 0 ? "." : "..";
        ++search->nextDot;
        if (NameMatches(search->pattern.c_str(), dot) && Describe(search->dir, dot, entry)) {
            return true;
        }
    }
    for (;;) {
        errno = 0;
        struct dirent* d = readdir(search->dir);
        if (d == nullptr) {
            return false;
        }
        const char* name = d->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || !Reportable(name) ||
            !NameMatches(search->pattern.c_str(), name)) {
            continue;
        }
        // A name that vanished since it was read is passed over.
        if (Describe(search->dir, name, entry)) {
            return true;
        }
    }
}

}  // namespace

DirSearch* DirFindFirst(const char* pattern, DirEntry* entry) {
    if (pattern == nullptr || entry == nullptr) {
        return nullptr;
    }
    try {
        PosixPath path(pattern);
        std::string full(path.c_str());
        size_t slash = full.rfind('/');
        std::string directory;
        if (slash == std::string::npos) {
            directory = ".";
        } else {
            directory = slash == 0 ? std::string("/") : full.substr(0, slash);
        }
        std::string last = slash == std::string::npos ? full : full.substr(slash + 1);
        DirSearch* search = new (std::nothrow) DirSearch;
        if (search == nullptr) {
            return nullptr;
        }
        search->pattern.swap(last);
        if (!search->pattern.empty()) {
            search->dir = opendir(directory.c_str());
        }
        if (search->dir == nullptr || !Next(search, entry)) {
            DirFindClose(search);
            return nullptr;
        }
        return search;
    } catch (...) {
        return nullptr;
    }
}

bool DirFindNext(DirSearch* search, DirEntry* entry) {
    if (search == nullptr || entry == nullptr) {
        return false;
    }
    return Next(search, entry);
}

void DirFindClose(DirSearch* search) {
    if (search == nullptr) {
        return;
    }
    if (search->dir != nullptr) {
        closedir(search->dir);
    }
    delete search;
}

}  // namespace vosk::platform
