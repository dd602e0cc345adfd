#include "api/LogPurge.h"

#include <cstring>

#include "platform/Directory.h"
#include "platform/Files.h"
#include "platform/Module.h"
#include "text/StringBuffer.h"

namespace vosk {
namespace {

bool EndsWith(const char* name, const char* suffix) {
    size_t n = strlen(name);
    size_t k = strlen(suffix);
    // A name shorter than the suffix is compared whole, and so never matches.
    return n >= k && memcmp(name + n - k, suffix, k) == 0;
}

bool IsLeftoverLog(const char* name) {
    return EndsWith(name, ".log") || EndsWith(name, ".log.bak");
}

bool IsDotEntry(const char* name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

void PurgeDirectory(const char* directoryFormat, const char* pathFormat, const char* exeDir) {
    StringBuffer directory;
    directory.Format(directoryFormat, exeDir);
    StringBuffer path;
    for (platform::DirectoryWalk walk(directory.CStr(), ""); walk.AtEntry(); walk.Next()) {
        const platform::DirEntry& entry = walk.Entry();
        // "." and ".." are passed over by name: they are not always the
        // first entries (a drive root has neither).
        if (IsDotEntry(entry.name) || !IsLeftoverLog(entry.name)) {
            continue;
        }
        if (!entry.addressable) {
            // A path made of this name would name another file.
            if (!entry.isDirectory) {
                walk.DeleteEntry();
            }
            continue;
        }
        path.Format(pathFormat, exeDir, entry.name);
        platform::FileDelete(path.CStr());
    }
}

}  // namespace

void PurgeOldLogsIn(const char* executableDirectory) {
    // Without an executable directory the patterns would name "\\log" and
    // "\\log_files" at the root of the file system: nothing of ours is there.
    if (executableDirectory == nullptr || executableDirectory[0] == '\0') {
        return;
    }
    PurgeDirectory("%s\\..\\log", "%s\\..\\log\\%s", executableDirectory);
    PurgeDirectory("%s\\log_files", "%s\\log_files\\%s", executableDirectory);
}

void PurgeOldLogs() {
    char exeDir[4096];
    platform::ExecutableDirectory(exeDir, sizeof(exeDir));
    PurgeOldLogsIn(exeDir);
}

}  // namespace vosk
