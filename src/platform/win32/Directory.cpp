#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "platform/Directory.h"
#include "platform/win32/WideText.h"

namespace vosk::platform {

namespace {

// A search is its find handle itself, so that it costs no allocation;
// FindFirstFileW never answers a null handle.
HANDLE AsFind(DirSearch* search) {
    return reinterpret_cast<HANDLE>(search);
}

void Describe(const WIN32_FIND_DATAW& data, DirEntry* entry) {
    static_assert(sizeof(entry->name) > 3 * MAX_PATH, "room for the UTF-8 of any name");
    const std::string name = Utf8Of(data.cFileName);
    memcpy(entry->name, name.c_str(), name.size() + 1);
    // Junctions and symbolic links to directories carry the directory
    // attribute too; they are reported as links only, so that nobody
    // enters them by mistake.
    entry->isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry->isDirectory = !entry->isLink && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Compared as one unsigned 64-bit number, as CompareFileTime does.
    entry->createTime = (static_cast<uint64_t>(data.ftCreationTime.dwHighDateTime) << 32) |
                        data.ftCreationTime.dwLowDateTime;
    entry->size = entry->isDirectory || entry->isLink
                      ? 0
                      : static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                             data.nFileSizeLow);
    // A Windows name never holds a separator.
    entry->addressable = true;
}

bool IsDotEntry(const WIN32_FIND_DATAW& data) {
    return wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0;
}

// The next entry after data's that is not "." or "..".
bool FindNextOwn(HANDLE find, WIN32_FIND_DATAW* data) {
    do {
        if (!FindNextFileW(find, data)) {
            return false;
        }
    } while (IsDotEntry(*data));
    return true;
}

}  // namespace

DirSearch* DirFindFirst(const char* directory, const char* prefix, DirEntry* entry) {
    // An empty directory would make the pattern name the drive's root.
    if (directory == nullptr || directory[0] == '\0' || prefix == nullptr || entry == nullptr) {
        return nullptr;
    }
    const std::string pattern = std::string(directory) + "\\" + prefix + "*";
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(WidePath(pattern.c_str()).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    if (IsDotEntry(data) && !FindNextOwn(find, &data)) {
        FindClose(find);
        return nullptr;
    }
    Describe(data, entry);
    return reinterpret_cast<DirSearch*>(find);
}

bool DirFindNext(DirSearch* search, DirEntry* entry) {
    if (search == nullptr || entry == nullptr) {
        return false;
    }
    WIN32_FIND_DATAW data;
    if (!FindNextOwn(AsFind(search), &data)) {
        return false;
    }
    Describe(data, entry);
    return true;
}

void DirFindClose(DirSearch* search) {
    if (search == nullptr) {
        return;
    }
    FindClose(AsFind(search));
}

bool DirDeleteEntry(DirSearch*, const DirEntry*) {
    return false;  // every entry is addressable: it is deleted by its path
}

}  // namespace vosk::platform
