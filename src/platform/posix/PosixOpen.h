// The POSIX layer's own helpers shared between its files.
#pragma once

namespace vosk::platform {

// FileOpen of path relative to the directory descriptor dirfd (AT_FDCWD:
// the current directory).
int OpenPlainFileAt(int dirfd, const char* path, int flags);
// Locks the directory descriptor fd (a descriptor of its own) and returns
// it; kNoDirectoryLock, fd closed, when it cannot.
int DirectoryLockOn(int fd);

}  // namespace vosk::platform
