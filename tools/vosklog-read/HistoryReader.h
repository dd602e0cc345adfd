// Reads a log's history, every file once and oldest first, into records in
// a time range, and then, when followed, what is added: new records of the
// live file, and the files it is followed through. A file is known by its
// identity (device and inode, or Windows' file index), so that it is read
// on to its end after it was renamed, and never again once it has another
// name; once compressed, by what it holds (ContentKey).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "ContentKey.h"
#include "FileInput.h"
#include "FileSet.h"
#include "LocalZone.h"
#include "RecordMerger.h"
#include "RecordOutput.h"
#include "RecordReader.h"
#include "TimeRange.h"

namespace vosklogread {

class HistoryReader {
  public:
    HistoryReader(FileSet* files, LocalZone* zone, const TimeRange& range, int64_t windowMs,
                  RecordOutput* output);

    // Every file that may hold records of the range. The live file is
    // read as far as it is written; with keepLive it stays open for
    // FollowOnce, otherwise a last line still being written is left out.
    void ReadAll(bool keepLive);
    // What was added since: the live file's new records, and when it has
    // been moved aside, its end and the files that came after it. True
    // when anything was read.
    bool FollowOnce();
    // Nothing new for a moment: records held for the window go out.
    void Idle();
    // Everything held goes out.
    void Finish();

    // A record at or after the range's end and the window was read: no
    // record of the range is to come.
    bool PastRange() const { return pastRange_; }
    // Files that could not be read to their end (damaged gzip files).
    int Damaged() const { return damaged_; }

  private:
    using Id = std::pair<uint64_t, uint64_t>;
    static Id IdOf(const vosk::platform::FileId& id) { return {id.volume, id.index}; }

    // Reads what input has now; true when anything was.
    bool Drain(FileInput* input);
    void ReadWhole(std::unique_ptr<FileInput> input);
    void Remember(const FileInput& input);
    // Read before: under its identity, or, once compressed, by what it holds.
    bool ReadBefore(FileInput* input);
    bool ReadUnderIdentity(FileInput* input);
    // A file found again: already read under this or another name.
    bool AlreadyRead(LogFile* file, std::unique_ptr<FileInput>* input);
    void Take(Record&& record);

    FileSet* files_;
    TimeRange range_;
    int64_t windowMs_;
    RecordOutput* output_;
    RecordMerger merger_;
    RecordReader reader_;
    std::unique_ptr<FileInput> current_;
    // The files read, by identity, with their first bytes: a new file may
    // get the identity of one deleted meanwhile (inode numbers are used
    // again), and is then told apart by what it begins with.
    std::map<Id, std::string> readIds_;
    std::set<ContentKey> readKeys_;
    // Archived files met, read or not, by path with the identity found
    // there: a name can be given again once its file was compressed.
    std::map<std::string, Id> knownArchived_;
    // Whether path was met before with the file it holds now; notes it.
    bool KnownArchived(const std::string& path);
    bool pastRange_ = false;
    int damaged_ = 0;
};

}  // namespace vosklogread
