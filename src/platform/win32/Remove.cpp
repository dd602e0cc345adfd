#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "platform/Files.h"
#include "platform/win32/WideText.h"

namespace vosk::platform {

bool FileDelete(const char* path) {
    return path != nullptr && DeleteFileW(WidePath(path).c_str()) != 0;
}

bool DirectoryRemove(const char* path) {
    return path != nullptr && _wrmdir(WidePath(path).c_str()) == 0;
}

namespace {

// True for a file with more than one name (hard links).
bool HasOtherNames(const char* path) {
    HANDLE file =
        CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool shared = GetFileInformationByHandle(file, &info) != 0 &&
                  (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                  info.nNumberOfLinks > 1;
    CloseHandle(file);
    return shared;
}

}  // namespace

// The runtime's chmod clears the read-only attribute. A reparse point is
// left as it is: what it points to is not ours to change. So is a file with
// other names: its attributes are theirs too, and they may lie anywhere.
bool PathMakeWritable(const char* path) {
    if (path == nullptr) {
        return false;
    }
    DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0 && HasOtherNames(path)) {
        return false;
    }
    return _wchmod(WidePath(path).c_str(), _S_IREAD | _S_IWRITE) == 0;
}

}  // namespace vosk::platform
