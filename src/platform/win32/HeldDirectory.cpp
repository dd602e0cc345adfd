#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "platform/Directory.h"
#include "platform/Files.h"
#include "platform/HeldDirectory.h"
#include "platform/win32/PathCalls.h"
#include "platform/win32/WideText.h"

// A held directory is a handle opened without delete sharing: while the
// log holds it, the system refuses to move or remove it, so the names
// below, joined to its path, stay inside it.
namespace vosk::platform {

struct HeldDirectory {
    HANDLE handle;
    std::string path;
};

namespace {

// The directory at path itself; with reparse false a reparse point (a
// symbolic link, a junction) there is refused rather than followed.
HeldDirectory* Opening(std::string path, bool followReparse) {
    const DWORD flags =
        FILE_FLAG_BACKUP_SEMANTICS | (followReparse ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle =
        CreateFileW(WidePath(path.c_str()).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const DWORD refused = followReparse ? 0 : FILE_ATTRIBUTE_REPARSE_POINT;
    if (!GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & refused) != 0) {
        CloseHandle(handle);
        return nullptr;
    }
    HeldDirectory* held = new (std::nothrow) HeldDirectory{handle, std::move(path)};
    if (held == nullptr) {
        CloseHandle(handle);
    }
    return held;
}

bool HandleId(HANDLE handle, FileId* id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        return false;
    }
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

std::string Joined(const HeldDirectory* dir, const char* name) {
    return dir->path + "\\" + name;
}

}  // namespace

HeldDirectory* DirectoryHold(const char* path) {
    return path == nullptr ? nullptr : Opening(path, true);
}

HeldDirectory* DirectoryHoldAgain(const HeldDirectory* held) {
    if (held == nullptr) {
        return nullptr;
    }
    // Each missing directory on the way, shortest first; what exists (a
    // drive, a share) fails to be made and is passed over.
    const std::string& path = held->path;
    for (size_t k = 1; k <= path.size(); ++k) {
        if (k == path.size() || path[k] == '\\' || path[k] == '/') {
            CreateDirectoryW(WidePath(path.substr(0, k).c_str()).c_str(), nullptr);
        }
    }
    return Opening(path, false);
}

HeldDirectory* DirectoryHoldBeneath(const HeldDirectory* parent, const char* name) {
    if (parent == nullptr || name == nullptr) {
        return nullptr;
    }
    // Each level in turn; a reparse point on the way is refused, not
    // followed.
    std::string path = parent->path;
    const std::string names(name);
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = names.size();
        }
        if (end > start) {
            path += "\\" + names.substr(start, end - start);
            CreateDirectoryW(WidePath(path.c_str()).c_str(), nullptr);
            HeldDirectory* level = Opening(path, false);
            if (level == nullptr || end == names.size()) {
                return level;
            }
            DirectoryRelease(level);
        }
        start = end + 1;
    }
    return Opening(std::move(path), false);
}

void DirectoryRelease(HeldDirectory* held) {
    // Made by the hold calls, owned by their caller until now.
    std::unique_ptr<HeldDirectory> owned(held);
    if (owned != nullptr) {
        CloseHandle(owned->handle);
    }
}

HeldDirectory* DirectoryHoldSame(const HeldDirectory* held) {
    return held == nullptr ? nullptr : Opening(held->path, false);
}

namespace {

bool IsComponent(const char* name) {
    return name != nullptr && name[0] != '\0' && strpbrk(name, "/\\") == nullptr &&
           strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

}  // namespace

// Every level is held open without delete sharing while the prune works in
// it, so that it cannot be moved or replaced meanwhile, and the names below
// it, joined to its path, stay inside it.
HeldDirectory* DirectoryOpenIn(const HeldDirectory* parent, const char* name) {
    return parent == nullptr || !IsComponent(name) ? nullptr : Opening(Joined(parent, name), false);
}

bool EntryDeleteIn(const HeldDirectory* dir, const char* name) {
    if (dir == nullptr || !IsComponent(name)) {
        return false;
    }
    const std::wstring path = WidePath(Joined(dir, name).c_str());
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // The link itself goes, never what it leads to.
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(path.c_str()) != 0
                                                            : DeleteFileW(path.c_str()) != 0;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    // The read-only attribute is cleared by the rule every removal keeps: not
    // on a file with other names, which may lie outside the tree (Wine shows
    // a link it cannot tell as such as the file it leads to).
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        PathMakeWritable(Joined(dir, name).c_str());
    }
    return DeleteFileW(path.c_str()) != 0;
}

bool DirectoryRemoveIn(const HeldDirectory* dir, const char* name) {
    if (dir == nullptr || !IsComponent(name)) {
        return false;
    }
    const std::string joined = Joined(dir, name);
    const std::wstring path = WidePath(joined.c_str());
    const DWORD attributes = GetFileAttributesW(path.c_str());
    // Cleared by the rule every removal keeps: never through a junction.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        PathMakeWritable(joined.c_str());
    }
    // A junction put there since is removed itself, not what it leads to.
    return RemoveDirectoryW(path.c_str()) != 0;
}

bool DirectoryMakeWritableHeld(const HeldDirectory* dir) {
    if (dir == nullptr) {
        return false;
    }
    const std::wstring path = WidePath(dir->path.c_str());
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           ((attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
            SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) != 0);
}

DirSearch* DirFindFirstIn(const HeldDirectory* directory, const char* prefix, DirEntry* entry) {
    // Held without delete sharing, the directory is where its path says.
    return directory == nullptr ? nullptr : DirFindFirst(directory->path.c_str(), prefix, entry);
}

bool DirectoryIsAt(const HeldDirectory* held, const char* path) {
    HeldDirectory* there = held == nullptr ? nullptr : DirectoryHold(path);
    const bool same = there != nullptr && DirectorySame(held, there);
    DirectoryRelease(there);
    return same;
}

bool DirectorySame(const HeldDirectory* a, const HeldDirectory* b) {
    FileId ida;
    FileId idb;
    return a != nullptr && b != nullptr && HandleId(a->handle, &ida) && HandleId(b->handle, &idb) &&
           ida == idb;
}

EntryInfo EntryIn(const HeldDirectory* dir, const char* name) {
    EntryInfo info{EntryKind::kNone, 0, 0, 0, FileId{0, 0}};
    if (dir == nullptr || name == nullptr) {
        return info;
    }
    const std::string path = Joined(dir, name);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidePath(path.c_str()).c_str(), GetFileExInfoStandard, &data)) {
        return info;
    }
    const DWORD attributes = data.dwFileAttributes;
    info.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? EntryKind::kOther
                : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? EntryKind::kDirectory
                                                                 : EntryKind::kPlainFile;
    if (info.kind == EntryKind::kPlainFile) {
        info.size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                         data.nFileSizeLow);
    }
    FileWriteTime(path.c_str(), &info.writeTime);
    ULARGE_INTEGER ticks;
    ticks.LowPart = data.ftLastWriteTime.dwLowDateTime;
    ticks.HighPart = data.ftLastWriteTime.dwHighDateTime;
    // 100-ns ticks since 1601 to milliseconds since 1970.
    info.writeTimeMs = static_cast<int64_t>(ticks.QuadPart / 10000ULL) - 11644473600000LL;
    PathFileId(path.c_str(), &info.id);
    return info;
}

int FileOpenIn(const HeldDirectory* dir, const char* name, int flags) {
    return dir == nullptr || name == nullptr ? -1 : FileOpen(Joined(dir, name).c_str(), flags);
}

bool FileRenameIn(const HeldDirectory* dir, const char* from, const char* to) {
    return dir != nullptr && from != nullptr && to != nullptr &&
           FileRename(Joined(dir, from).c_str(), Joined(dir, to).c_str());
}

bool FileMoveNoReplaceIn(const HeldDirectory* fromDir, const char* from, const HeldDirectory* toDir,
                         const char* to) {
    return fromDir != nullptr && toDir != nullptr && from != nullptr && to != nullptr &&
           FileMoveNoReplace(Joined(fromDir, from).c_str(), Joined(toDir, to).c_str());
}

}  // namespace vosk::platform
