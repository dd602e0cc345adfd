// The day archive of a log: instead of being replaced at the next rotation,
// a backup is kept beneath the log's directory in
// logfiles-YYYY/MM/YYYY-MM-DD/, the local day of its last record, where the
// disk limit's pruning finds it, oldest day first; day folders older than a
// number of days are deleted. Off until a number of days is set.
//
// Only directories that are directories themselves are entered or made on
// the way: a symbolic link, junction or file where one should be refuses
// the archive, and the backup is then replaced as without one.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "log/PruneReport.h"
#include "platform/HeldDirectory.h"
#include "text/StringBuffer.h"

namespace vosk {

class DayArchive {
  public:
    // 0 (or less) turns the archive off.
    void SetKeepDays(int32_t days) { keepDays_ = days < 0 ? 0 : days; }
    int32_t KeepDays() const { return keepDays_; }
    // Files kept from now on are listed for compression (ArchiveCompression).
    void SetCompress(bool on) { compress_ = on; }
    bool Compress() const { return compress_; }
    // A file kept: its day folder beneath the log's directory and its name.
    struct Kept {
        std::string folder;
        std::string name;
    };
    // The files kept since the last call, oldest first, while compression
    // is on; the list is empty afterwards.
    std::vector<Kept> TakeKept() { return std::move(kept_); }
    // Lists files again that a pass could not compress yet.
    void KeepListed(std::vector<Kept> again);
    // The day folder and the name of the file Keep moved last.
    const char* LastFolder() { return path_.CStr(); }
    const char* LastName() { return target_.CStr(); }

    // Moves the plain file backup in directory, the backup of name there,
    // in one step to "logfiles-YYYY/MM/YYYY-MM-DD/<name>.
    // YYYYMMDD-HHMMSS-mmmZ": the folder the local day of its last write,
    // the name that moment in UTC to the millisecond. The names of one log
    // strictly increase: a time not after the last name's becomes that one
    // and a millisecond, and a name taken (by another process) is passed
    // over a millisecond at a time, so that they sort by time and nothing
    // is ever replaced, however many come in one second. False, and
    // nothing moved, when the archive is off, when there is no such file,
    // and when the archive is refused.
    bool Keep(const platform::HeldDirectory* directory, const char* name, const char* backup);

  private:
    int32_t keepDays_ = 0;
    bool compress_ = false;
    std::vector<Kept> kept_;
    // The time of the last name given, in milliseconds since the epoch.
    int64_t lastNameMs_ = 0;
    StringBuffer path_;
    StringBuffer target_;
    StringBuffer compressed_;
};

// Deletes the day folders of the archive beneath the directory held
// (logfiles-YYYY/MM/YYYY-MM-DD, directories themselves, named so) whose
// day lies more than keepDays days before today, with everything in them
// whatever its name (links deleted, never followed), and month and year
// folders left empty. Every level is opened beneath the one above it,
// never through a link, whatever is swapped in meanwhile. Nothing else is
// touched. keepDays 0 or less deletes nothing. Reports each day folder.
PruneReport PruneDaysOlderThan(const platform::HeldDirectory* directory, int32_t keepDays,
                               const std::tm& today);

}  // namespace vosk
