// Finds the files of one log: the day archive's files
// (<dir>/logfiles-YYYY/MM/YYYY-MM-DD/<name>.<stamp>, plain or ".gz"), the
// backup <dir>/<name>.bak and the live file <dir>/<name>; without the
// archive, also the backup a rotation has just replaced, <name>.bak.del,
// until it is deleted.
#pragma once

#include <string>
#include <vector>

#include "LocalZone.h"
#include "LogFile.h"

namespace vosklogread {

class FileSet {
  public:
    // directory as the log has it; name may have directories of its own,
    // whose last part names the archived files.
    FileSet(std::string directory, std::string name, LocalZone* zone);

    // Oldest first: the archived files in the order of their names' times,
    // the replaced backup, the backup, the live file. Files move from the live name to the
    // backup to the archive, so they are looked for in that order: a file
    // that moves meanwhile is found twice (the reader knows it again by
    // its identity), never missed. The backup and the live file come
    // opened. A plain archived file and its ".gz" count once, as the plain
    // one.
    std::vector<LogFile> Discover();

    // From now on only the newest two day folders found so far, and newer
    // ones, are looked into: where files arrive while the log is followed.
    void LimitToRecentDays() { fromDay_ = secondNewestDay_; }

    const std::string& LivePath() const { return live_; }
    const std::string& BackupPath() const { return backup_; }

  private:
    void FindArchive(std::vector<LogFile>* found);
    void AddArchived(const std::string& folder, const char* file, std::vector<LogFile>* found);

    std::string directory_;
    std::string base_;
    std::string live_;
    std::string backup_;
    LocalZone* zone_;
    std::string fromDay_;  // "YYYY-MM-DD": older day folders are passed by
    std::string newestDay_;
    std::string secondNewestDay_;
};

}  // namespace vosklogread
