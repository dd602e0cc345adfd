#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>

#include "platform/Platform.h"

namespace vosk::platform {

bool FileRemove(const char* path) {
    return path != nullptr && remove(path) == 0;
}

bool FileDelete(const char* path) {
    return path != nullptr && DeleteFileA(path) != 0;
}

bool DirectoryRemove(const char* path) {
    return path != nullptr && _rmdir(path) == 0;
}

// The runtime's chmod clears the read-only attribute. A reparse point is
// left as it is: what it points to is not ours to change.
bool PathMakeWritable(const char* path) {
    if (path == nullptr) {
        return false;
    }
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    return _chmod(path, _S_IREAD | _S_IWRITE) == 0;
}

}  // namespace vosk::platform
