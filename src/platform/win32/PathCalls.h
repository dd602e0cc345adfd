// The path calls that the Windows layer's held directory is made of (a
// directory held there is its path, kept from being moved or deleted).
// Nothing above the platform layer uses them: it goes through
// platform/HeldDirectory.h.
#pragma once

#include <cstdint>

#include "platform/Files.h"

namespace vosk::platform {

// Moves a file to a new name in one step, replacing a file or link of
// that name (never a directory). On failure both names stay as they were.
bool FileRename(const char* from, const char* to);
// Moves a file to a new name in one step when nothing has that name;
// false, and both names as they were, when something has or the move
// fails (errno EEXIST when the name is taken).
bool FileMoveNoReplace(const char* from, const char* to);
// The time of the file's last write, in seconds since the epoch; false
// when the path cannot be examined. A link is not followed.
bool FileWriteTime(const char* path, int64_t* seconds);
// The entry at path itself, a link not followed. False when there is none
// or it cannot be examined.
bool PathFileId(const char* path, FileId* id);

}  // namespace vosk::platform
