// A log's directory held open, so that the log's file, its backup and its
// archive are found, made and moved in that directory wherever it is, and
// never through a symbolic link that replaced it or one of the directories
// above it after it was opened. Names given to the calls below are one
// component, or a few joined by '/', none of them ever a link.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Files.h"

namespace vosk::platform {

struct HeldDirectory;

// Opens the directory at path, following the links the path has now (an
// operator's linked log folder). Null when there is no directory there.
HeldDirectory* DirectoryHold(const char* path);
// The directory that held was opened as, made again where it was found
// first (the links the path had then resolved): each missing directory on
// the way is made with mkdir, and every step refuses a link, whatever it
// points to. The directories above it need only let the process pass, not
// list them. Null when that fails.
HeldDirectory* DirectoryHoldAgain(const HeldDirectory* held);
// The real directory name in parent, made when missing; null when
// something else is there (a link to a directory included).
HeldDirectory* DirectoryHoldBeneath(const HeldDirectory* parent, const char* name);
void DirectoryRelease(HeldDirectory* held);
// Another hold of the directory held, for use apart from it; null when
// none can be had.
HeldDirectory* DirectoryHoldSame(const HeldDirectory* held);
// The directory name (one component) in parent, as it is there: never
// made, and null for a link (a junction, any reparse point), anything
// else, or nothing. The archive's prunes go down level by level this way.
HeldDirectory* DirectoryOpenIn(const HeldDirectory* parent, const char* name);
// Deletes name (one component) in dir: a file or a link itself, never what
// a link leads to; a read-only file is made writable first where the
// system asks it. False for a directory, and when it stays.
bool EntryDeleteIn(const HeldDirectory* dir, const char* name);
// Removes the empty directory name (one component) in dir; a link there is
// not followed (a junction is removed itself). False when it stays.
bool DirectoryRemoveIn(const HeldDirectory* dir, const char* name);
// Makes the directory held writable (the owner's write permission; the
// read-only attribute cleared on Windows), so that its entries can go.
bool DirectoryMakeWritableHeld(const HeldDirectory* dir);

struct HeldDirectoryRelease {
    void operator()(HeldDirectory* held) const { DirectoryRelease(held); }
};
// A hold that ends when it goes out of scope.
using HeldDirectoryPtr = std::unique_ptr<HeldDirectory, HeldDirectoryRelease>;
// True when path leads to held itself now (its links followed).
bool DirectoryIsAt(const HeldDirectory* held, const char* path);
// True when both hold one directory.
bool DirectorySame(const HeldDirectory* a, const HeldDirectory* b);

enum class EntryKind { kNone, kPlainFile, kDirectory, kOther };
struct EntryInfo {
    EntryKind kind;
    int64_t size;         // bytes; 0 for anything but a plain file
    int64_t writeTime;    // seconds since the epoch
    int64_t writeTimeMs;  // the same, in milliseconds
    FileId id;
};
// What name is in dir itself, a link not followed (kOther). kNone when
// there is nothing, or it cannot be examined.
EntryInfo EntryIn(const HeldDirectory* dir, const char* name);
// FileOpen of name in dir.
int FileOpenIn(const HeldDirectory* dir, const char* name, int flags);
// Moves from to to within dir in one step, replacing a file or link of
// that name (never a directory). On failure both names stay as they were.
bool FileRenameIn(const HeldDirectory* dir, const char* from, const char* to);
// Moves from in fromDir to to in toDir in one step when nothing has that
// name; false, and both names as they were, otherwise (errno EEXIST when
// the name is taken).
bool FileMoveNoReplaceIn(const HeldDirectory* fromDir, const char* from, const HeldDirectory* toDir,
                         const char* to);

}  // namespace vosk::platform
