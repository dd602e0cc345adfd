// Frees disk space by deleting archived logs, a bounded slice per call,
// from the oldest day directory of the layout
// <log directory>/logfiles-YYYY/MM/YYYY-MM-DD.
//
// The archive tree may be written by other programs and users, so nothing
// outside it is ever touched: symbolic links, junctions and other reparse
// points met on the way are never entered, chosen or made writable; where
// files are deleted, such a link is deleted itself.
#pragma once

#include <cstdint>
#include <ctime>

namespace vosk {

class StringBuffer;

// Files deleted from the top level of the day directory in one call (one
// more is deleted before the count is tested): fewer when the oldest day
// is the day of the log's last write.
constexpr int32_t kTodayFileLimit = 20;
constexpr int32_t kOlderFileLimit = 200;
// Directories nested inside a day directory go whole.
constexpr int32_t kNestedFileLimit = 10000000;

// Deletes files from the oldest day directory beneath directory, and
// removes day, month and year directories as they empty. lastWrite, the
// log's last write, decides which day counts as today. Reports nothing.
void PruneOldestArchive(const char* directory, time_t lastWrite);

// The name of the subdirectory of parent whose name begins with prefix and
// whose creation time is earliest (among equal times, the one enumerated
// last), written into name; null when there is none. With deleteFiles set,
// every other entry met, plain files and links alike, is deleted on the way.
const char* FindOldestSubdirectory(const char* parent, const char* prefix, StringBuffer& name,
                                   bool deleteFiles);

// Deletes up to fileLimit + 1 files directly in path, then every
// subdirectory whole, then tries to remove path itself.
void DeleteTree(const char* path, int32_t fileLimit);

}  // namespace vosk
