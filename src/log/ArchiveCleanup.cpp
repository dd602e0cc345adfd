#include "log/ArchiveCleanup.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/CatchAll.h"
#include "platform/Directory.h"
#include "platform/Time.h"
#include "text/StringBuffer.h"

namespace vosk {

namespace {

bool IsDots(const char* name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// Deletes a plain file or a link met in dir, and counts it.
void DeleteCounted(const platform::HeldDirectory* dir, const platform::DirEntry& entry,
                   PrunedEntry* deleted) {
    if (platform::EntryDeleteIn(dir, entry.name) && deleted != nullptr) {
        ++deleted->files;
        deleted->bytes += entry.size;
    }
}

bool DeleteTreeAt(const platform::HeldDirectory* parent, const char* name, int32_t fileLimit,
                  PrunedEntry* deleted, int depth) {
    platform::HeldDirectoryPtr dir(platform::DirectoryOpenIn(parent, name));
    if (dir == nullptr) {
        // Nothing to enter (gone, a link, a file): an empty directory or a
        // junction there is removed, nothing is followed.
        return platform::DirectoryRemoveIn(parent, name);
    }
    // Its entries can only go when it is writable.
    platform::DirectoryMakeWritableHeld(dir.get());
    std::vector<std::string> subdirectories;
    int32_t tried = 0;
    for (platform::DirectoryWalk walk(dir.get(), ""); walk.AtEntry(); walk.Next()) {
        const platform::DirEntry& entry = walk.Entry();
        if (IsDots(entry.name)) {
            continue;
        }
        if (entry.isDirectory) {
            // Without memory the directory is left for a later call.
            platform::CatchAll([&] { subdirectories.emplace_back(entry.name); });
            continue;
        }
        DeleteCounted(dir.get(), entry, deleted);
        if (++tried > fileLimit) {
            break;
        }
    }
    if (depth < kNestedDepthLimit) {
        for (const std::string& nested : subdirectories) {
            DeleteTreeAt(dir.get(), nested.c_str(), kNestedFileLimit, deleted, depth + 1);
        }
    }
    // Let go first: Windows removes no directory held open. Fails while
    // files remain; the next call goes on from there.
    dir.reset();
    return platform::DirectoryRemoveIn(parent, name);
}

// Adds entry to the report when anything went.
void Report(PruneReport& report, PrunedEntry&& entry) {
    if (entry.files > 0 || entry.removed) {
        platform::CatchAll([&] { report.entries.push_back(std::move(entry)); });
    }
}

std::string Joined(const std::string& a, const char* b) {
    return a.empty() ? std::string(b) : a + "/" + b;
}

}  // namespace

const char* FindOldestSubdirectory(const platform::HeldDirectory* parent, const char* prefix,
                                   StringBuffer& name, bool deleteFiles, PrunedEntry* deleted) {
    if (parent == nullptr || prefix == nullptr) {
        return nullptr;
    }
    bool found = false;
    uint64_t oldest = 0;
    for (platform::DirectoryWalk walk(parent, prefix); walk.AtEntry(); walk.Next()) {
        const platform::DirEntry& entry = walk.Entry();
        if (IsDots(entry.name)) {
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
            DeleteCounted(parent, entry, deleted);
        }
    }
    // A name lost to a failed allocation would be empty.
    if (!found || name.Length() == 0) {
        return nullptr;
    }
    return name.CStr();
}

bool DeleteTree(const platform::HeldDirectory* parent, const char* name, int32_t fileLimit,
                PrunedEntry* deleted) {
    if (parent == nullptr || name == nullptr) {
        return false;
    }
    return DeleteTreeAt(parent, name, fileLimit, deleted, 0);
}

PruneReport PruneOldestArchive(const platform::HeldDirectory* directory, time_t lastWrite,
                               const DiskUse& use) {
    PruneReport report;
    report.reason = PruneReason::kDisk;
    report.disk = use;
    platform::CatchAll([&] {
        StringBuffer year;
        if (FindOldestSubdirectory(directory, "logfiles-", year, false, nullptr) == nullptr) {
            return;
        }
        platform::HeldDirectoryPtr yearDir(platform::DirectoryOpenIn(directory, year.CStr()));
        if (yearDir == nullptr) {
            return;
        }
        PrunedEntry yearLoose;
        yearLoose.path = year.CStr();
        StringBuffer month;
        if (FindOldestSubdirectory(yearDir.get(), "", month, true, &yearLoose) == nullptr) {
            yearDir.reset();
            yearLoose.removed = platform::DirectoryRemoveIn(directory, year.CStr());
            Report(report, std::move(yearLoose));
            return;
        }
        Report(report, std::move(yearLoose));
        platform::HeldDirectoryPtr monthDir(platform::DirectoryOpenIn(yearDir.get(), month.CStr()));
        if (monthDir == nullptr) {
            return;
        }
        PrunedEntry monthLoose;
        monthLoose.path = Joined(year.CStr(), month.CStr());
        StringBuffer day;
        if (FindOldestSubdirectory(monthDir.get(), "", day, true, &monthLoose) == nullptr) {
            // An empty month goes.
            monthDir.reset();
            monthLoose.removed = platform::DirectoryRemoveIn(yearDir.get(), month.CStr());
            Report(report, std::move(monthLoose));
            return;
        }
        Report(report, std::move(monthLoose));

        // Without a calendar date the day may be today's: the slower pace then.
        bool older = false;
        std::tm date;
        char today[64];
        if (platform::LocalCalendar(lastWrite, &date)) {
            snprintf(today, sizeof today, "logfiles-%04d/%02d/%4.4d-%2.2d-%2.2d",
                     date.tm_year + 1900, date.tm_mon + 1, date.tm_year + 1900, date.tm_mon + 1,
                     date.tm_mday);
            older = Joined(Joined(year.CStr(), month.CStr()), day.CStr()) != today;
        }
        PrunedEntry target;
        target.path = Joined(Joined(year.CStr(), month.CStr()), day.CStr());
        target.removed = DeleteTree(monthDir.get(), day.CStr(),
                                    older ? kOlderFileLimit : kTodayFileLimit, &target);
        Report(report, std::move(target));
    });
    return report;
}

}  // namespace vosk
