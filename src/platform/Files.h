// Files and paths: opening and writing a log's file, and what the library
// asks about or does to the entries it names. The names avoid the Windows
// API's macro names (DeleteFile, ...) so that the Windows layer can include
// <windows.h> next to this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/NativeTypes.h"

namespace vosk::platform {

// kPathLimit, the longest path the system accepts (terminating NUL
// included), is each platform's: platform/NativeTypes.h.

// Text the host gave for a directory or a file name, as the library's paths
// hold it: on Windows converted once from the process's ANSI code page
// (UTF-8 itself when the host's manifest asks for it) to UTF-8, which the
// Windows layer hands to the system's wide calls; on POSIX the bytes as
// given. Empty for null.
std::string PathFromHostText(const char* text);

enum OpenFlags : int {
    kOpenCreate = 1,    // create when missing
    kOpenTruncate = 2,  // start empty
    kOpenAppend = 4,    // every write goes to the end
    kOpenBinary = 8,    // bytes as they are (no text mode on Windows)
};
// Opens for reading and writing: shared, not inherited by child processes,
// created readable and writable; text mode on Windows. -1 on failure.
// Only a plain file is opened: never through a symbolic link or other
// reparse point at the last component, never blocking (a FIFO), and
// whatever else is found there (a FIFO, a device, a directory) is closed
// again untouched and the open fails.
int FileOpen(const char* path, int flags);
// One write() call; on failure returns a negative value with errno set.
// A negative descriptor (EBADF) or a null buffer with a size (EINVAL) is
// refused before the system sees it.
long FileWrite(int fd, const void* data, size_t size);
int FileClose(int fd);
// Writes what the system holds of the file to the disk (fsync).
bool FileSync(int fd);
// Cuts what writes through fd have just added at the file's end off again:
// data[0, size), as it was given to FileWrite (on Windows each line feed
// took a carriage return along). False, and nothing done, when the file no
// longer ends where those writes left it (someone wrote after them).
bool FileTakeBack(int fd, const char* data, size_t size);
bool FileExists(const char* path);  // access(path, 0)
// A directory, or a link to one. False when the path cannot be examined.
bool PathIsDirectory(const char* path);
// Size in bytes, or -1 when the path cannot be examined.
int64_t FileSizeOf(const char* path);
// The size of the file open as fd, in bytes, or -1 when it cannot be had.
int64_t FileSizeOfOpen(int fd);
bool FileDelete(const char* path);  // a plain file only, never a directory
bool DirectoryMake(const char* path);
bool DirectoryRemove(const char* path);
// Clears a read-only state so that the entry can be deleted. Never follows
// a symbolic link.
bool PathMakeWritable(const char* path);

// Which file an open descriptor is: device and inode on POSIX, volume
// serial number and file index on Windows.
struct FileId {
    uint64_t volume;
    uint64_t index;
    bool operator==(const FileId& other) const {
        return volume == other.volume && index == other.index;
    }
};
bool FileIdOf(int fd, FileId* id);

}  // namespace vosk::platform
