// Reading files that others write, move, compress and delete meanwhile: a
// reader never stands in their way (on Windows the file is shared for
// writing and deleting, so that a log can still move it aside), and asks
// about the open file itself, whatever name it has by then.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Files.h"

namespace vosk::platform {

struct FileStatus {
    FileId id;
    int64_t size;
    int64_t writeTimeMs;  // last modification, milliseconds since 1970 (UTC)
};

// Opens a plain file for reading only, as bytes (no line-end translation),
// not inherited by child processes; -1 when it is missing or not a plain
// file.
int FileOpenRead(const char* path);
// Up to size bytes from the descriptor's position: the count, 0 at the
// file's current end, negative on failure.
long FileRead(int fd, void* data, size_t size);
// Moves the descriptor's position to offset from the start; false when it
// cannot.
bool FileSeek(int fd, int64_t offset);
// What the open file is now.
bool FileStatusOf(int fd, FileStatus* status);
// What the entry at path is now (a link is followed); false when there is
// none.
bool PathFileStatus(const char* path, FileStatus* status);

}  // namespace vosk::platform
