// The POSIX layer's own helpers shared between its files.
#pragma once

namespace vosk::platform {

struct HeldDirectory;

// FileOpen of path relative to the directory descriptor dirfd (AT_FDCWD:
// the current directory).
int OpenPlainFileAt(int dirfd, const char* path, int flags);
// Moves from (relative to fromDir) to to (relative to toDir) in one step
// when nothing has that name; false, and both names as they were,
// otherwise. AT_FDCWD: the current directory.
bool MoveNoReplaceAt(int fromDir, const char* from, int toDir, const char* to);
// The descriptor of the directory held (not a copy); -1 for null.
int HeldDescriptor(const HeldDirectory* held);

}  // namespace vosk::platform
