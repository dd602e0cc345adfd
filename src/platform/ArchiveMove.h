// What the day archive asks of the file system: directories that are
// directories themselves, and a move that never replaces anything.
#pragma once

#include <cstdint>

namespace vosk::platform {

// A directory itself: false for a symbolic link, junction or other reparse
// point (even to a directory), for anything else, and when the path cannot
// be examined.
bool PathIsRealDirectory(const char* path);
// Moves a file to a new name in one step when nothing has that name; false,
// and both names as they were, when something has or the move fails.
bool FileMoveNoReplace(const char* from, const char* to);
// The time of the file's last write, in seconds since the epoch; false
// when the path cannot be examined. A link is not followed.
bool FileWriteTime(const char* path, int64_t* seconds);

}  // namespace vosk::platform
