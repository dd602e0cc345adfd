// Frees disk space by deleting archived logs, a bounded slice per call,
// from the day directory made first in the layout
// <log directory>/logfiles-YYYY/MM/YYYY-MM-DD.
//
// The archive tree may be written by other programs and users, so nothing
// outside it is ever touched: every level is opened beneath the one above
// it, starting from the log's directory held open, and never through a
// link (symbolic link, junction or other reparse point), whatever is
// swapped in while the prune runs; everything is deleted by its name in
// the level held. A link met where files are deleted is deleted itself.
#pragma once

#include <cstdint>
#include <ctime>

#include "log/PruneReport.h"
#include "platform/HeldDirectory.h"

namespace vosk {

class StringBuffer;

// Files deleted from the top level of the day directory in one call (one
// more is deleted before the count is tested): fewer when the oldest day
// is the day of the log's last write.
constexpr int32_t kTodayFileLimit = 20;
constexpr int32_t kOlderFileLimit = 200;
// Directories nested inside a day directory go whole.
constexpr int32_t kNestedFileLimit = 10000000;
// Deepest nesting inside a day directory that is entered; each level holds
// a descriptor.
constexpr int kNestedDepthLimit = 64;

// Deletes files from the day directory made first beneath directory (year,
// then month, then day, each the one made first at its level, whatever
// its name says), and removes day, month and year directories as they
// empty. lastWrite, the log's last write, decides which day counts as
// today. use is the disk's use that set the prune off, for the report.
PruneReport PruneOldestArchive(const platform::HeldDirectory* directory, time_t lastWrite,
                               const DiskUse& use);

// The name of the subdirectory of parent whose name begins with prefix and
// whose creation time is earliest (among equal times, the one enumerated
// last), written into name; null when there is none. With deleteFiles set,
// every other entry met, plain files and links alike, is deleted on the
// way and counted in deleted (which may be null).
const char* FindOldestSubdirectory(const platform::HeldDirectory* parent, const char* prefix,
                                   StringBuffer& name, bool deleteFiles, PrunedEntry* deleted);

// Deletes up to fileLimit + 1 files directly in the directory name of
// parent, then every subdirectory whole, then tries to remove it; what went
// is counted in deleted (which may be null). A link at name is not entered:
// it is removed itself when it is a junction, and left otherwise. True when
// the directory went.
bool DeleteTree(const platform::HeldDirectory* parent, const char* name, int32_t fileLimit,
                PrunedEntry* deleted);

}  // namespace vosk
