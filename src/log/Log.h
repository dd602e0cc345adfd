// One log: a file "<directory>/<name>" with one backup "<file>.bak", a
// level threshold, a size limit and the stamped records written to the
// file (a LogFile, which opens, backs up and counts it).
//
// The log decides when the file is started afresh (RotationPolicy), the
// old one becoming the backup: at the first record of each local day and
// at the first record after it reached its size limit; the first record
// opens it.
// Every record is written through to the file before WriteRecord returns;
// raw text waits in the stream's buffer for the next sync.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <ctime>

#include "log/Clock.h"
#include "log/LogFile.h"
#include "log/OpenFile.h"
#include "log/PruneListener.h"
#include "log/PruneReport.h"
#include "log/RecordGap.h"
#include "log/RecordStamp.h"
#include "log/RetireListener.h"
#include "log/RotationListener.h"
#include "log/RotationPolicy.h"
#include "log/WriteResult.h"
#include "platform/ThreadAnnotations.h"
#include "platform/Time.h"
#include "text/StringBuffer.h"
#include "threading/Lock.h"
#include "threading/SectionLock.h"

namespace vosk {

namespace test {
class LogTestPeer;
}

class Log {
  public:
    static constexpr int32_t kDefaultSizeLimit = RotationPolicy::kDefaultSizeLimit;
    static constexpr int32_t kMinimumSizeLimit = RotationPolicy::kMinimumSizeLimit;
    // A raw text is indented by the width of a record stamp, less one.
    static constexpr int32_t kRawIndent = 25;

    // Any thread may use the log: its operations are serialised by a lock
    // of its own. The clock is not owned; null means the system clock.
    explicit Log(Clock* clock = nullptr);
    // Writes out what is pending, closes the file and deletes the old
    // backup moved aside, if its deletion is pending.
    virtual ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Null changes nothing; blanks only give the default directory ("log_files"
    // beside the executable). Surrounding blanks and tabs are dropped; a
    // relative directory is taken from the executable's directory. The file
    // moves there at the log's next new day.
    void SetDirectory(const char* directory);
    // Never below kMinimumSizeLimit.
    void SetSizeLimit(int32_t limit);
    // The size limit that SetSizeLimit makes of a limit.
    static int32_t ClampedSizeLimit(int32_t limit) {
        return RotationPolicy::ClampedSizeLimit(limit);
    }
    // Null gives an empty name.
    void SetNameAndLevel(const char* name, int32_t level);
    void SetLevel(int32_t level);
    // Turns the day archive on for keepDays days (0 or less: off); from the
    // next rotation on, backups are kept in it instead of being replaced.
    void SetArchive(int32_t keepDays);
    // The form of the stamps of the records from now on.
    void SetStampForm(StampForm form) { stampForm_.store(form, std::memory_order_relaxed); }
    // The time now as this log's stamps need it: with its offset from UTC
    // only when the form shows it (the plain local time is cheaper on
    // some systems). For a caller that stamps a record when it reads it.
    void StampNow(platform::ZonedTime* now);
    // Compresses each file the day archive keeps from now on (on), or not.
    void SetCompress(bool on);
    // Compresses the files the archive kept since the last call (see
    // ArchiveCompression), unless a writer still writes a file moved away;
    // with sweep also every archived file of the log found plain, and what
    // a stop left. Tells the rotation listener of each file kept since the
    // last call once compressed. The maintenance thread calls it.
    void CompressArchive(bool sweep);
    // Deletes the archive's day folders older than its days; nothing while
    // the archive is off. The maintenance thread calls it. What went, for
    // the host to be told.
    PruneReport PruneArchiveByAge();
    // Tells of a prune of the archive this log's maintenance ran: the prune
    // listener, and, with prune records on, a record for each folder it
    // deleted in (see PruneLine), whatever the level threshold. Nothing
    // when nothing went. The maintenance thread calls it.
    void TellPruned(const PruneReport& report);
    // Off by default: a host that reads its log may not expect lines it
    // did not write.
    void SetPruneRecords(bool on) { pruneRecords_.store(on, std::memory_order_relaxed); }
    // Told of every prune this log's maintenance ran; null: nobody. Not
    // owned.
    void SetPruneListener(PruneListener* listener);

    // True when a record of this level passes the threshold. No lock: a
    // caller may test before it does anything else.
    bool Accepts(int32_t level) const { return level <= level_.load(std::memory_order_relaxed); }
    // Writes one stamped line when level is not greater than the
    // threshold. A null format writes nothing. callerErrno is errno as it
    // was when the caller's call began: %m reports it, whatever opening or
    // rotating the file did to errno meanwhile.
    void WriteRecord(int32_t level, const char* format, va_list args, int callerErrno);
    void WriteRecord(int32_t level, const char* format, va_list args) {
        WriteRecord(level, format, args, errno);
    }
    // The same with the stamp given; %m reports errno as it was at the call.
    void WriteRecordAt(const platform::ZonedTime& stamp, int32_t level, const char* format,
                       va_list args);
    // Indented text, without stamp or line end, written at the next sync.
    void WriteRaw(const char* text);
    // A record whose message is length bytes of data as they stand: never
    // a format, NUL bytes and any other bytes included. Written through
    // like WriteRecord, with a line feed unless the data ends with one;
    // raw puts WriteRaw's indent in place of the stamp.
    // continued marks the record as the next piece of the record before
    // it, cut from one line: the last character of its head, the blank
    // after the stamp or the indent's last, becomes kContinuedMark.
    WriteResult WriteData(int32_t level, const char* data, size_t length, bool raw = false,
                          bool continued = false);
    // The same with the stamp given, for a record tried again.
    WriteResult WriteDataAt(const platform::ZonedTime& stamp, int32_t level, const char* data,
                            size_t length, bool raw = false, bool continued = false);
    static constexpr char kContinuedMark = '+';
    // For a caller that writes a failed record again: what a failed write
    // left of it in the file is taken off again (see FileStream).
    void SetTakeBack(bool on);
    // On (the default): when records could not be written, the next
    // record written is preceded by one that says how many, since when and
    // why (see RecordGap). Off: nothing is said, and a gap under way is
    // forgotten. For a caller that writes failed records again itself.
    void SetGapRecords(bool on);
    // Told of every move of the file out of the way; null: nobody. Not
    // owned; set before the first record.
    void SetRotationListener(RotationListener* listener);
    // Told of every old backup moved aside to be deleted (see
    // DeleteRetired); null: nobody. Not owned; set before the first record.
    void SetRetireListener(RetireListener* listener);
    // Deletes the old backup that a rotation moved aside, outside the log's
    // lock, so that freeing its space never holds a writer up. The
    // maintenance thread calls it when told and at every idle pass.
    void DeleteRetired();

    void Flush();
    // Closes the file on a new day or when it is full; the next record
    // opens the new one.
    void CheckRotation();
    // The configured directory and the time of the last record (the log's
    // creation before the first), read together under the log's lock. The
    // path is empty when a link has taken the place of the directory the
    // log holds. held is the directory the log holds (null before the
    // log's first record, and where a link has replaced it), for the
    // prunes to work in without a path.
    struct Directory {
        StringBuffer path;
        time_t lastWrite;
        SharedHeldDirectory held;
    };
    Directory GetDirectory();
    // When the open file is no longer the one at the log's path (removed,
    // renamed away, its directory gone), opens the path again, making its
    // directories; a file found there is continued. The maintenance thread
    // calls it at every idle pass: the file system is asked outside the
    // log's lock, which is taken again only when something has changed.
    void ReopenIfMoved();
    // When another program has cut the file short, the count restarts at
    // its size. The maintenance thread calls it at every idle pass, asking
    // for the size outside the lock; the size rule makes the same test
    // before it starts a new file.
    void FollowTruncation();
    // Closes the file and opens its path again (after a rename by someone
    // else), continuing a file found there. Nothing when no file is open
    // (the next record opens one) or the path cannot be opened (the open
    // file goes on).
    void Reopen();
    // Starts a fresh file now, the current one moving out of the way as at
    // a rotation for size; nothing when the file at the path is empty or
    // missing. True when the file moved.
    bool RotateNow();

    // For a process that exits while its threads may still call: writes
    // out what is pending and closes the file for good, leaving the object
    // in place; every later call does nothing. Waits up to lockWaitMs for a
    // writer to finish its record; false (nothing done) when the lock could
    // not be had.
    bool Close(int32_t lockWaitMs);

    // Around a fork (see BlockingQueue): the lock is held across it, so
    // that no record is half made in the child; the child's lock is made
    // fresh and the raw text pending is dropped there (the parent writes
    // it). The file stays open in both. The lock is held from one call to
    // the next, which the lock analysis cannot follow.
    void ForkPrepare() NO_THREAD_SAFETY_ANALYSIS {
        lock_.Acquire();
        file_.ForkPrepare();
    }
    void ForkParent() NO_THREAD_SAFETY_ANALYSIS {
        file_.ForkParent();
        lock_.Release();
    }
    void ForkChild() NO_THREAD_SAFETY_ANALYSIS;

  private:
    friend class test::LogTestPeer;

    void Rotate(const std::tm& now, bool reopen) REQUIRES(lock_);
    // WriteRecord and WriteData with the stamp given, or read now for null.
    void WriteRecordOf(const platform::ZonedTime* given, int32_t level, const char* format,
                       va_list args, int callerErrno);
    WriteResult WriteDataOf(const platform::ZonedTime* given, int32_t level, const char* data,
                            size_t length, bool raw, bool continued);
    // A record of a stamp read beforehand: rendered into the stream under
    // the lock while the log sees one writer at a time, else rendered by
    // the caller first so that the lock is held for the write only.
    void WriteStamped(const platform::ZonedTime& stamp, const char* format, va_list args,
                      int callerErrno);
    // Under the lock: a record that fill stores into the stream (true when
    // whole), after the day and size decision, written in one write.
    template <class Fill>
    WriteResult WriteHeld(const platform::ZonedTime& stamp, Fill fill) REQUIRES(lock_);
    void WriteLocked(const platform::ZonedTime& stamp, const char* format, va_list args,
                     int callerErrno) REQUIRES(lock_);
    WriteResult WriteDataLocked(const platform::ZonedTime& stamp, const char* data, size_t length,
                                bool raw, bool continued) REQUIRES(lock_);
    void WriteRendered(const platform::ZonedTime& stamp, const char* format, va_list args,
                       int callerErrno);
    // Under the lock: the day and size decision and the count of a record
    // rendered beforehand, and its write when text is pending before it.
    // Otherwise the file that the caller is to write it to once the lock is
    // let go; null when there is none.
    SharedFile WriteRenderedLocked(const platform::ZonedTime& stamp, const char* record,
                                   int32_t length, int64_t count) REQUIRES(lock_);
    // Under the lock, with the file open, before a record stamped stamp:
    // the gap record, when records were lost since the last one written.
    void WriteGapLocked(const platform::ZonedTime& stamp) REQUIRES(lock_);
    // Under the lock, before a record: sets the time of the last record and
    // starts a new file on a new day or when the file is full.
    void RotateForRecord() REQUIRES(lock_);
    // Under the lock: opens the log's path again and takes the file found
    // there in place of the open one; with evenIfThere false only when the
    // open file is no longer the one at the path.
    void ReopenPath(bool evenIfThere) REQUIRES(lock_);

    // Serialises every operation; the fields marked with it are touched
    // only while it is held, which clang checks.
    SectionLock lock_;
    StringBuffer name_ GUARDED_BY(lock_);
    // Read without the lock by the level test.
    std::atomic<int32_t> level_{0};
    // A writer lately found the lock held: records are rendered before it
    // is taken. Cleared when a writer finds it free again.
    std::atomic<bool> contended_{false};
    time_t lastWriteTime_ GUARDED_BY(lock_) = 0;
    // Set once by Close.
    bool closed_ GUARDED_BY(lock_) = false;
    Clock* const clock_;
    RecordStamp stamp_ GUARDED_BY(lock_);
    // Held through CompressArchive: the maintenance thread and a caller at
    // the end (vosklog) never compress one file at once.
    SectionLock compressLock_;
    std::atomic<StampForm> stampForm_{StampForm::kLocal};
    std::atomic<bool> pruneRecords_{false};
    std::atomic<PruneListener*> pruneListener_{nullptr};
    // The file, its stream and count, and when it starts afresh. Writers
    // outside the lock hold only a reference to the file (see OpenFile).
    LogFile file_ GUARDED_BY(lock_);
    RotationPolicy rotation_ GUARDED_BY(lock_);
    // Also for the writers outside the lock, which take it again to count
    // a record they could not write.
    RecordGap gap_ GUARDED_BY(lock_);
};

}  // namespace vosk
