#include "FileSet.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "ArchiveName.h"
#include "ContentKey.h"
#include "platform/Directory.h"

namespace vosklogread {

namespace {

// n digits at text, which ends (NUL) no earlier than a non-digit.
bool DigitsAt(const char* text, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

bool AllDigits(const char* text, size_t n) {
    return DigitsAt(text, n) && text[n] == '\0';
}

// Real directories in parent (no links) whose names fit.
template <class Fits>
std::vector<std::string> Folders(const std::string& parent, const char* prefix, Fits fits) {
    std::vector<std::string> names;
    for (vosk::platform::DirectoryWalk walk(parent.c_str(), prefix); walk.AtEntry(); walk.Next()) {
        const vosk::platform::DirEntry& entry = walk.Entry();
        if (entry.isDirectory && !entry.isLink && entry.addressable && fits(entry.name)) {
            names.emplace_back(entry.name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

LogFile Opened(FileKind kind, const std::string& path) {
    LogFile file;
    file.kind = kind;
    file.path = path;
    file.fd = vosk::platform::FileOpenRead(path.c_str());
    if (file.fd >= 0 && !vosk::platform::FileStatusOf(file.fd, &file.status)) {
        file.Close();
    }
    return file;
}

}  // namespace

FileSet::FileSet(std::string directory, std::string name, LocalZone* zone)
    : directory_(std::move(directory)), zone_(zone) {
    base_ = name;
    const size_t slash = base_.find_last_of("/\\");
    if (slash != std::string::npos) {
        base_ = base_.substr(slash + 1);
    }
    live_ = directory_;
    if (!live_.empty() && live_.back() != '/' && live_.back() != '\\') {
        live_ += '/';
    }
    live_ += name;
    backup_ = live_ + ".bak";
}

std::vector<LogFile> FileSet::Discover() {
    LogFile live = Opened(FileKind::kLive, live_);
    LogFile backup = Opened(FileKind::kBackup, backup_);
    LogFile replaced = Opened(FileKind::kBackup, backup_ + ".del");
    std::vector<LogFile> found;
    FindArchive(&found);
    if (replaced.fd >= 0) {
        found.push_back(std::move(replaced));
    }
    if (backup.fd >= 0) {
        found.push_back(std::move(backup));
    }
    if (live.fd >= 0) {
        found.push_back(std::move(live));
    }
    return found;
}

void FileSet::FindArchive(std::vector<LogFile>* found) {
    std::vector<LogFile> files;
    const auto year = [](const char* n) { return AllDigits(n + 9, 4); };
    const auto month = [](const char* n) { return AllDigits(n, 2); };
    const auto day = [](const char* n) {
        return DigitsAt(n, 4) && n[4] == '-' && DigitsAt(n + 5, 2) && n[7] == '-' &&
               AllDigits(n + 8, 2);
    };
    for (const std::string& y : Folders(directory_, "logfiles-", year)) {
        const std::string yearPath = directory_ + "/" + y;
        for (const std::string& m : Folders(yearPath, "", month)) {
            const std::string monthPath = yearPath + "/" + m;
            for (const std::string& d : Folders(monthPath, "", day)) {
                if (d < fromDay_) {
                    continue;
                }
                if (d > newestDay_) {
                    secondNewestDay_ = newestDay_;
                    newestDay_ = d;
                } else if (d != newestDay_ && d > secondNewestDay_) {
                    secondNewestDay_ = d;
                }
                const std::string dayPath = monthPath + "/" + d;
                const std::string prefix = base_ + ".";
                // Listed twice. A listing looks at each name after it has
                // read the names: a file compressed in between is gone by
                // then, and its ".gz" came too late to be read, so one
                // listing may have the file in neither form. The ".gz" is
                // made before the plain file goes, so the next listing
                // has it.
                std::set<std::string> names;
                for (int pass = 0; pass < 2; ++pass) {
                    for (vosk::platform::DirectoryWalk walk(dayPath.c_str(), prefix.c_str());
                         walk.AtEntry(); walk.Next()) {
                        const vosk::platform::DirEntry& entry = walk.Entry();
                        if (!entry.isDirectory && !entry.isLink && entry.addressable) {
                            names.insert(entry.name);
                        }
                    }
                }
                for (const std::string& name : names) {
                    AddArchived(dayPath, name.c_str(), &files);
                }
            }
        }
    }
    // A file and its ".gz" are one: the plain one is read, the ".gz" is
    // there should the plain one be gone by then. Unless they hold
    // different things: an older log gives a name again once the file
    // that had it was compressed and deleted, and the ".gz" is then the
    // earlier file.
    std::map<std::string, size_t> byPlain;
    std::vector<LogFile> unique;
    for (LogFile& file : files) {
        const std::string plain =
            file.compressed ? file.path.substr(0, file.path.size() - 3) : file.path;
        auto it = byPlain.find(plain);
        if (it == byPlain.end()) {
            byPlain.emplace(plain, unique.size());
            unique.push_back(std::move(file));
            continue;
        }
        ContentKey plainKey;
        ContentKey compressedKey;
        if (PlainContentKey(plain, &plainKey) &&
            CompressedContentKey(plain + ".gz", &compressedKey) && !(plainKey == compressedKey)) {
            unique.push_back(std::move(file));
            continue;
        }
        LogFile& kept = unique[it->second];
        if (kept.compressed) {
            kept.path = plain;
            kept.compressed = false;
        }
        kept.hasCompressed = true;
    }
    std::stable_sort(unique.begin(), unique.end(), [](const LogFile& a, const LogFile& b) {
        if (a.timeMs != b.timeMs) {
            return a.timeMs < b.timeMs;
        }
        if (a.sequence != b.sequence) {
            return a.sequence < b.sequence;
        }
        if (a.compressed != b.compressed) {
            return a.compressed;
        }
        return a.path < b.path;
    });
    for (LogFile& file : unique) {
        found->push_back(std::move(file));
    }
}

void FileSet::AddArchived(const std::string& folder, const char* file,
                          std::vector<LogFile>* found) {
    ArchiveName name;
    if (!ParseArchiveName(file, base_, &name)) {
        return;
    }
    LogFile archived;
    archived.kind = FileKind::kArchive;
    archived.path = folder + "/" + file;
    archived.compressed = name.compressed;
    archived.sequence = name.sequence;
    if (name.time.zone == Stamp::Zone::kUtc) {
        archived.timeMs = ZonedMs(name.time);
    } else {
        // The older names are local: in a fall-back hour the file's own
        // modification time, which its name was made from, tells which
        // of the two it was.
        const LocalInstant instant = zone_->Resolve(WallMs(name.time));
        archived.timeMs = instant.earliest;
        vosk::platform::FileStatus status;
        if (instant.Ambiguous() && vosk::platform::PathFileStatus(archived.path.c_str(), &status)) {
            archived.timeMs = zone_->Nearest(WallMs(name.time), status.writeTimeMs);
        }
    }
    found->push_back(std::move(archived));
}

}  // namespace vosklogread
