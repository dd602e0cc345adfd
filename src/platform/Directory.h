// Walking the entries of a directory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vosk::platform {

// Room for any entry's name, UTF-8 on Windows (up to three bytes for each
// of 260 UTF-16 units), terminating NUL included.
constexpr size_t kNameLimit = 1024;

struct DirEntry {
    char name[kNameLimit];
    bool isDirectory;     // a real directory; false for a link to one
    bool isLink;          // a symbolic link, junction or other reparse point
    uint64_t createTime;  // orders entries by creation, oldest lowest
    int64_t size;         // bytes of a plain file; 0 for anything else
    // False for a name that no path can carry here: on POSIX one holding
    // '\', which this layer reads as a separator ("..\\x" would name a
    // file elsewhere). Such an entry is deleted with DirDeleteEntry, never
    // through a path made of its name.
    bool addressable;
};

// The entries of directory whose names begin with prefix ("" for all of
// them), in the system's order; "." and ".." are never reported.
struct DirSearch;
struct HeldDirectory;
// Null when nothing can be enumerated; otherwise entry is the first one.
DirSearch* DirFindFirst(const char* directory, const char* prefix, DirEntry* entry);
// The same for the directory held (platform/HeldDirectory.h) itself,
// wherever it is now: never by its path.
DirSearch* DirFindFirstIn(const HeldDirectory* directory, const char* prefix, DirEntry* entry);
bool DirFindNext(DirSearch* search, DirEntry* entry);
void DirFindClose(DirSearch* search);
// Deletes the entry that the search reported last, relative to the
// directory searched: a file or link is unlinked, a directory removed with
// everything in it (links inside are deleted, never followed). For entries
// that are not addressable; Windows reports none and refuses. False when
// something stays.
bool DirDeleteEntry(DirSearch* search, const DirEntry* entry);

// One walk over the entries of a directory that begin with a prefix, in the
// system's order; the search is closed when the walk goes out of scope:
//     for (DirectoryWalk walk(directory, prefix); walk.AtEntry(); walk.Next()) { ... }
// A walk that cannot be opened has no entry.
class DirectoryWalk {
  public:
    DirectoryWalk(const char* directory, const char* prefix)
        : search_(DirFindFirst(directory, prefix, &entry_)), atEntry_(search_ != nullptr) {}
    DirectoryWalk(const HeldDirectory* directory, const char* prefix)
        : search_(DirFindFirstIn(directory, prefix, &entry_)), atEntry_(search_ != nullptr) {}
    ~DirectoryWalk() { DirFindClose(search_); }
    DirectoryWalk(const DirectoryWalk&) = delete;
    DirectoryWalk& operator=(const DirectoryWalk&) = delete;

    bool AtEntry() const { return atEntry_; }
    const DirEntry& Entry() const { return entry_; }
    void Next() { atEntry_ = atEntry_ && DirFindNext(search_, &entry_); }
    // DirDeleteEntry for the current entry.
    bool DeleteEntry() { return atEntry_ && DirDeleteEntry(search_, &entry_); }

  private:
    DirEntry entry_{};
    DirSearch* search_;
    bool atEntry_;
};

}  // namespace vosk::platform
