#include "log/DayArchive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "log/ArchiveCleanup.h"
#include "log/LogPaths.h"
#include "platform/CatchAll.h"
#include "platform/Directory.h"
#include "platform/HeldDirectory.h"
#include "platform/Time.h"

namespace vosk {

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DayNumber(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// Rounds towards minus infinity: times before 1970 keep their
// milliseconds positive.
int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - (a % b < 0 ? 1 : 0);
}

// Reads exactly digits decimal digits, then expects the text's end.
bool ReadNumber(const char* text, int digits, int* value) {
    int n = 0;
    for (int i = 0; i < digits; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        n = n * 10 + (text[i] - '0');
    }
    *value = n;
    return text[digits] == '\0';
}

// The names of the directories in parent itself (links are not).
std::vector<std::string> Subdirectories(const platform::HeldDirectory* parent, const char* prefix) {
    std::vector<std::string> names;
    for (platform::DirectoryWalk walk(parent, prefix); walk.AtEntry(); walk.Next()) {
        const platform::DirEntry& entry = walk.Entry();
        if (entry.isDirectory && strcmp(entry.name, ".") != 0 && strcmp(entry.name, "..") != 0) {
            names.emplace_back(entry.name);
        }
    }
    return names;
}

// Adds pruned to the report when anything went; without memory the prune
// goes on untold.
void Report(PruneReport& report, PrunedEntry&& pruned) {
    if (pruned.files > 0 || pruned.removed) {
        platform::CatchAll([&] { report.entries.push_back(std::move(pruned)); });
    }
}

// A month or year folder that the days' going left empty.
void ReportRemoved(PruneReport& report, std::string path, bool removed) {
    PrunedEntry emptied;
    emptied.path = std::move(path);
    emptied.removed = removed;
    Report(report, std::move(emptied));
}

}  // namespace

bool DayArchive::Keep(const platform::HeldDirectory* directory, const char* name,
                      const char* backup) {
    if (keepDays_ <= 0 || directory == nullptr || name == nullptr || backup == nullptr) {
        return false;
    }
    const platform::EntryInfo found = platform::EntryIn(directory, backup);
    std::tm day;
    if (found.kind != platform::EntryKind::kPlainFile ||
        !platform::LocalCalendar(static_cast<time_t>(found.writeTime), &day)) {
        return false;
    }
    const int year = day.tm_year + 1900;
    const int month = day.tm_mon + 1;
    // Each level is entered or made in the one above it, never through a
    // link.
    path_.Format("logfiles-%04d/%02d/%04d-%02d-%02d", year, month, year, month, day.tm_mday);
    platform::HeldDirectory* dayDirectory = platform::DirectoryHoldBeneath(directory, path_.CStr());
    if (dayDirectory == nullptr) {
        return false;
    }
    // A name beneath its own directories keeps only its last part here.
    const char* base = name;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            base = p + 1;
        }
    }
    int64_t nameMs = found.writeTimeMs > lastNameMs_ ? found.writeTimeMs : lastNameMs_ + 1;
    bool moved = false;
    // No look before the move: the move itself refuses a name taken.
    for (;;) {
        std::tm utc;
        const time_t second = static_cast<time_t>(FloorDiv(nameMs, 1000));
        if (!platform::UtcCalendar(second, &utc)) {
            break;
        }
        target_.Format("%s.%04d%02d%02d-%02d%02d%02d-%03dZ", base, utc.tm_year + 1900,
                       utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                       static_cast<int>(nameMs - static_cast<int64_t>(second) * 1000));
        // A name is taken by its compressed file too (another process, or
        // an earlier run): only then is there something to look at first.
        if (compress_) {
            compressed_.Format("%s.gz", target_.CStr());
            if (platform::EntryIn(dayDirectory, compressed_.CStr()).kind !=
                platform::EntryKind::kNone) {
                ++nameMs;
                continue;
            }
        }
        errno = 0;
        if (platform::FileMoveNoReplaceIn(directory, backup, dayDirectory, target_.CStr())) {
            moved = true;
            lastNameMs_ = nameMs;
            break;
        }
        // Anything but a name taken (the backup gone, the disk) ends it.
        if (errno != EEXIST) {
            break;
        }
        ++nameMs;
    }
    platform::DirectoryRelease(dayDirectory);
    if (moved && compress_) {
        // Without memory the file stays plain until the next sweep finds it.
        platform::CatchAll([&] { kept_.push_back(Kept{path_.CStr(), target_.CStr()}); });
    }
    return moved;
}

void DayArchive::KeepListed(std::vector<Kept> again) {
    platform::CatchAll([&] {
        again.insert(again.end(), std::make_move_iterator(kept_.begin()),
                     std::make_move_iterator(kept_.end()));
        kept_ = std::move(again);
    });
}

PruneReport PruneDaysOlderThan(const platform::HeldDirectory* directory, int32_t keepDays,
                               const std::tm& today) {
    PruneReport report;
    report.reason = PruneReason::kAge;
    report.keepDays = keepDays;
    if (directory == nullptr || keepDays <= 0) {
        return report;
    }
    const int64_t todayNumber = DayNumber(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday);
    // Each level is opened in the one above it, never through a link, and
    // everything goes by its name there: a link swapped in for any level
    // at any moment is not followed.
    platform::CatchAll([&] {
        for (const std::string& yearName : Subdirectories(directory, "logfiles-")) {
            int year = 0;
            if (!ReadNumber(yearName.c_str() + strlen("logfiles-"), 4, &year)) {
                continue;
            }
            platform::HeldDirectoryPtr yearDir(
                platform::DirectoryOpenIn(directory, yearName.c_str()));
            bool yearPruned = false;
            for (const std::string& monthName : Subdirectories(yearDir.get(), "")) {
                int month = 0;
                if (!ReadNumber(monthName.c_str(), 2, &month)) {
                    continue;
                }
                platform::HeldDirectoryPtr monthDir(
                    platform::DirectoryOpenIn(yearDir.get(), monthName.c_str()));
                bool monthPruned = false;
                char prefix[16];
                snprintf(prefix, sizeof(prefix), "%04d-%02d-", year, month);
                for (const std::string& dayName : Subdirectories(monthDir.get(), prefix)) {
                    int dayOfMonth = 0;
                    if (!ReadNumber(dayName.c_str() + strlen(prefix), 2, &dayOfMonth) ||
                        todayNumber - DayNumber(year, month, dayOfMonth) <= keepDays) {
                        continue;
                    }
                    PrunedEntry pruned;
                    pruned.path = yearName + "/" + monthName + "/" + dayName;
                    pruned.removed =
                        DeleteTree(monthDir.get(), dayName.c_str(), kNestedFileLimit, &pruned);
                    Report(report, std::move(pruned));
                    monthPruned = true;
                }
                // Only where a day went: an empty folder may be one that a
                // rotation has just made for its backup. Fails while
                // anything is left in it; let go first, as Windows asks.
                monthDir.reset();
                if (monthPruned) {
                    yearPruned = true;
                    ReportRemoved(report, yearName + "/" + monthName,
                                  platform::DirectoryRemoveIn(yearDir.get(), monthName.c_str()));
                }
            }
            yearDir.reset();
            if (yearPruned) {
                ReportRemoved(report, yearName,
                              platform::DirectoryRemoveIn(directory, yearName.c_str()));
            }
        }
    });
    return report;
}

}  // namespace vosk
