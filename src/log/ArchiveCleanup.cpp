#include "log/ArchiveCleanup.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/CatchAll.h"
#include "platform/Directory.h"
#include "platform/Files.h"
#include "platform/Time.h"
#include "text/StringBuffer.h"

namespace vosk {

namespace {

bool IsDots(const char* name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// Formats a path into out; null when the buffer could not hold all of it.
// A path cut short by a failed allocation could name a directory above the
// one meant ("dir/logfiles-2024/01" cut to "dir"), so it is never used.
const char* BuildPath(StringBuffer& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int expected = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    out.FormatV(format, args);
    va_end(args);
    const char* text = out.CStr();
    return expected > 0 && out.Length() == expected ? text : nullptr;
}

// A plain file is made writable first, since a read-only file cannot be
// deleted on Windows. A link is deleted itself, and so is a junction (a
// directory removal takes away the junction, not what it points to).
void DeleteEntry(const char* path, bool isLink) {
    if (isLink) {
        if (!platform::FileDelete(path)) {
            platform::DirectoryRemove(path);
        }
        return;
    }
    platform::PathMakeWritable(path);
    platform::FileDelete(path);
}

void MakeWritableAndRemove(const char* path) {
    platform::PathMakeWritable(path);
    platform::DirectoryRemove(path);
}

}  // namespace

const char* FindOldestSubdirectory(const char* parent, const char* prefix, StringBuffer& name,
                                   bool deleteFiles) {
    if (parent == nullptr || prefix == nullptr) {
        return nullptr;
    }
    bool found = false;
    uint64_t oldest = 0;
    StringBuffer path;
    for (platform::DirectoryWalk walk(parent, prefix); walk.AtEntry(); walk.Next()) {
        const platform::DirEntry& entry = walk.Entry();
        if (IsDots(entry.name)) {
            continue;
        }
        if (!entry.addressable) {
            // No path can name it, so it can never be the one chosen; where
            // files go it goes too, whole, or it would keep its parent (and
            // so the oldest day) from ever being removed.
            if (deleteFiles) {
                walk.DeleteEntry();
            }
            continue;
        }
        if (entry.isDirectory) {
            // Not earlier than the entry: among equal times the later one wins.
            if (!found || oldest >= entry.createTime) {
                found = true;
                oldest = entry.createTime;
                name.Assign(entry.name);
            }
        } else if (deleteFiles) {
            const char* file = BuildPath(path, "%s/%s", parent, entry.name);
            if (file != nullptr) {
                DeleteEntry(file, entry.isLink);
            }
        }
    }
    // A name lost to a failed allocation would be empty, and the paths made
    // from it would name the parent instead.
    if (!found || name.Length() == 0) {
        return nullptr;
    }
    return name.CStr();
}

void DeleteTree(const char* path, int32_t fileLimit) {
    if (path == nullptr) {
        return;
    }
    // A directory that cannot be walked has no entries to go first.
    std::vector<std::string> subdirectories;
    StringBuffer file;
    int32_t deleted = 0;
    for (platform::DirectoryWalk walk(path, ""); walk.AtEntry(); walk.Next()) {
        const platform::DirEntry& entry = walk.Entry();
        if (IsDots(entry.name)) {
            continue;
        }
        if (entry.isDirectory && entry.addressable) {
            // Without memory the directory is left for a later call.
            platform::CatchAll([&] { subdirectories.emplace_back(entry.name); });
            continue;
        }
        if (!entry.addressable) {
            // No path can name it: deleted where it lies, a directory whole.
            walk.DeleteEntry();
        } else if (const char* target = BuildPath(file, "%s/%s", path, entry.name)) {
            DeleteEntry(target, entry.isLink);
        }
        if (++deleted > fileLimit) {
            break;
        }
    }

    StringBuffer subdirectory;
    for (const std::string& name : subdirectories) {
        // A backslash on purpose: every platform's layer takes it as a separator.
        const char* nested = BuildPath(subdirectory, "%s\\%s", path, name.c_str());
        if (nested != nullptr) {
            DeleteTree(nested, kNestedFileLimit);
        }
    }
    // Fails while files remain; the next call goes on from there.
    MakeWritableAndRemove(path);
}

void PruneOldestArchive(const char* directory, time_t lastWrite) {
    if (directory == nullptr) {
        return;
    }
    StringBuffer year;
    if (FindOldestSubdirectory(directory, "logfiles-", year, false) == nullptr) {
        return;
    }
    StringBuffer yearPath;
    if (BuildPath(yearPath, "%s/%s", directory, year.CStr()) == nullptr) {
        return;
    }
    StringBuffer month;
    if (FindOldestSubdirectory(yearPath.CStr(), "", month, true) == nullptr) {
        MakeWritableAndRemove(yearPath.CStr());
        return;
    }
    StringBuffer monthPath;
    if (BuildPath(monthPath, "%s/%s/%s", directory, year.CStr(), month.CStr()) == nullptr) {
        return;
    }
    StringBuffer day;
    if (FindOldestSubdirectory(monthPath.CStr(), "", day, true) == nullptr) {
        // An empty month goes; the day path below then names nothing.
        MakeWritableAndRemove(monthPath.CStr());
        day.Reset();
    }

    StringBuffer target;
    if (BuildPath(target, "%s/%s/%s/%s", directory, year.CStr(), month.CStr(), day.CStr()) ==
        nullptr) {
        return;
    }
    // Without a calendar date the day may be today's: the slower pace then.
    bool older = false;
    std::tm date;
    StringBuffer today;
    if (platform::LocalCalendar(lastWrite, &date) &&
        BuildPath(today, "%s/logfiles-%04d/%02d/%4.4d-%2.2d-%2.2d", directory, date.tm_year + 1900,
                  date.tm_mon + 1, date.tm_year + 1900, date.tm_mon + 1, date.tm_mday) != nullptr) {
        older = today != target.CStr();
    }
    DeleteTree(target.CStr(), older ? kOlderFileLimit : kTodayFileLimit);
}

}  // namespace vosk
