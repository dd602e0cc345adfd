// The file a log writes: the open file (shared with writers outside the
// log's lock, see OpenFile) and the stream over it, the count of
// characters it holds, the move of an earlier file to its backup
// "<file>.bak" when it is opened afresh, and the numbered name probed at
// every open. When the file is started afresh is the log's decision.
//
// No move replaces a file: a rename over the old backup makes the writer
// wait while the system writes the moved file out (ext4 does so for a
// rename that replaces one) and frees the old backup's blocks. The old
// backup goes into the day archive or, without one, to "<file>.bak.del",
// which the maintenance thread deletes; the backup's name is then free for
// the file.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "log/Clock.h"
#include "log/DayArchive.h"
#include "log/LogDirectory.h"
#include "log/OpenFile.h"
#include "log/RetireListener.h"
#include "log/RotationListener.h"
#include "text/FileStream.h"
#include "text/StringBuffer.h"

namespace vosk {

// The per-quarter-hour numbered name "<name>_<hour><quarter>[<n>].log"
// that every open works out. Only its file's size is read, to start the
// new file's count: no file is ever written under it.
class NumberedNameProbe {
  public:
    // An open passes over numbered names whose files are full; nothing
    // creates them, so this many in a row means something else is wrong.
    static constexpr int kProbes = 1000;

    // The next name is numbered from 1 again.
    void Restart() { sequence_ = 1; }
    // Chooses the next numbered name of name at now's hour and quarter,
    // passing over the name chosen last and names whose file in directory
    // holds limit bytes or more. The size of the chosen name's file (0
    // when there is none), where the new file's count starts; 0, and no
    // name chosen, when none of kProbes names fits. numbered is working
    // room for the names probed.
    int32_t Choose(const platform::HeldDirectory* directory, const char* name, const std::tm& now,
                   int32_t limit, StringBuffer& numbered);
    // The name chosen last; empty before the first.
    const char* LastName() { return last_.CStr(); }

  private:
    StringBuffer last_;
    int32_t sequence_ = 1;
};

class LogFile {
  public:
    // After a backup failed, a full file takes records for this long before
    // the backup is tried again.
    static constexpr int64_t kBackupRetryMs = 1000;

    // The clock (not owned) times the backup retry.
    explicit LogFile(Clock* clock) : clock_(clock) {}
    // Lets the file go; pending bytes are lost.
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Records and raw text are written through the stream.
    FileStream& Stream() { return stream_; }
    bool IsOpen() const { return stream_.Descriptor() != FileStream::kNoDescriptor; }

    // Characters written to the file since it was opened, counted as the
    // stream receives them, from the numbered name's size. 64 bits: a full
    // file counts from the limit, and the largest limit is INT32_MAX.
    int64_t Written() const { return written_; }
    // Sets the count: a rotation asked for makes the file count as full.
    void SetCount(int64_t count) { written_ = count; }
    // How many times the file moved to its backup so far.
    uint64_t Moves() const { return moves_; }
    // A backup that failed is tried at the next open without waiting.
    void ClearBackupWait() { backupRetryMs_ = 0; }
    // A negative count (a step that stored nothing) adds nothing.
    void AddCount(int64_t count) {
        if (count > 0) {
            written_ += count;
        }
    }

    // True while a backup that failed a moment ago waits for its retry: an
    // open file takes the records meanwhile.
    bool BackupWaiting() const {
        return IsOpen() && backupRetryMs_ != 0 && clock_->MonotonicMs() < backupRetryMs_;
    }
    // Told of every move to the backup; null: nobody. Not owned.
    void SetRotationListener(RotationListener* listener) { listener_ = listener; }
    // Told of every old backup moved aside to be deleted; null: nobody
    // (the next look at the retired file deletes it). Not owned.
    void SetRetireListener(RetireListener* listener) { retireListener_ = listener; }
    // The old backup moved aside lately, to be deleted by the caller
    // outside the log's lock: its name, the directory it was moved in and
    // that directory's path. False when there is none to delete. From the
    // first open on, a file of that name that a crash left is one too.
    struct Retired {
        std::string name;
        SharedHeldDirectory directory;
        std::string directoryPath;
    };
    bool TakeRetired(Retired& retired);
    // Deletes a file that TakeRetired gave, unless a link has taken its
    // directory's place since. No lock needed.
    static void DeleteRetired(const Retired& retired);
    // The look at the open file that the maintenance thread makes outside
    // the log's lock: the file, the directory and what is needed to tell
    // whether the file moved or was cut short, taken under the lock.
    struct Outlook {
        SharedFile file;
        SharedHeldDirectory directory;
        std::string directoryPath;
        // The size the file has unless it was cut.
        int64_t expectedSize = 0;
    };
    // False when no file is open.
    bool TakeOutlook(Outlook& outlook);
    // Outside the lock: true when the open file is still at its path in
    // the directory held, and that directory at its path, as far as the
    // system tells.
    static bool StillInPlace(const Outlook& outlook, const char* name);
    // Outside the lock: true when the file is shorter than expected.
    static bool LooksCut(const Outlook& outlook);
    // errno of the last open that failed (0 when the last open worked, or
    // something other than a plain file is at the path: EEXIST).
    int OpenError() const { return openError_; }

    // The next open numbers its numbered name from 1 again.
    void RestartNumbering() { probe_.Restart(); }

    // Writes out what is pending and lets the file go: its descriptor is
    // closed once no writer outside the lock holds it any more.
    void Close();
    // Lets the file go as Close does; what is pending is dropped, not
    // written.
    void CloseDiscarding();
    // The open file, for a writer that writes a record outside the log's
    // lock; null when none is open.
    SharedFile Share() const { return file_; }
    // True while a writer outside the lock holds the open file.
    bool Shared() const { return file_ != nullptr && file_.use_count() > 1; }
    // Without opening the file: makes directory and its parents and holds
    // it (see LogDirectory: the links on its path are followed now, and
    // not later), and sets
    // the count to limit, so that the next record finds the file full and
    // opens it.
    void PrepareOpen(const char* directory, int32_t limit);
    // Opens "<directory>/<name>" afresh, closing the open file first. A
    // file found there becomes the backup "<file>.bak" in one step; when
    // that move fails the file is continued, and the backup is tried again
    // kBackupRetryMs later. The count starts at the numbered name's size
    // (now's hour and quarter; limit decides which names are full). With
    // the day archive on, the backup that is about to be replaced is moved
    // into it first; when the archive refuses it, it is replaced. When
    // nothing can be opened (anything but a plain file at the path, an open
    // that fails) the count is set to limit and records are dropped until
    // the next open.
    void Open(const char* directory, const char* name, const std::tm& now, int32_t limit);
    // When the open file is no longer the one at "<directory>/<name>"
    // (removed, renamed away, its directory gone), opens the path again,
    // making its directories, and returns the new descriptor for
    // ReplaceWith; a file found there is continued. kNoDescriptor, and
    // nothing done, when the file is still there, when nothing is open and
    // when the path cannot be opened.
    int OpenIfMoved(const char* directory, const char* name);
    // Like OpenIfMoved, but the path is opened again even when the open
    // file is still there.
    int OpenAgain(const char* directory, const char* name);
    // Takes fd, which OpenIfMoved has just opened, in place of the open
    // file: the old file gets what is pending and is let go, and the count
    // goes on from the new file's size.
    void ReplaceWith(int fd);
    // When another program has cut the file short (a rotation tool's copy
    // and truncate, "> file"), that is when it is shorter than its size at
    // the open and every byte that reached it since, restarts the count at
    // its size and what is pending (the numbered name's size no longer
    // matters), so that the size rule does not
    // start a new file early; true when it did. Records go on at the file's end (every write
    // appends), leaving no hole. A write outside the log's lock counts its
    // bytes once they are in the file, so one under way never looks like a
    // cut.
    bool FollowTruncation();
    // False when directory is the path of the directory held (from the
    // first open on) and that directory is no longer the one there: where
    // a link has replaced it, nothing is pruned or deleted by path.
    bool DirectoryInPlace(const char* directory) const;
    // The same, without the lock: where DirectoryShare is the hold taken
    // under it with its path.
    static bool DirectoryInPlace(const SharedHeldDirectory& held, const char* heldPath,
                                 const char* directory);
    SharedHeldDirectory DirectoryShare() const { return directory_.Share(); }
    const std::string& DirectoryPath() const { return directory_.Path(); }
    // Where a backup goes before the next one replaces it; off unless set.
    DayArchive& Archive() { return archive_; }
    // The directory held; null before the first open.
    const platform::HeldDirectory* Held() const { return directory_.Get(); }
    RotationListener* Listener() const { return listener_; }
    // True while a writer outside the lock still holds one of the last
    // files let go of (moved away): such a file may still grow.
    bool RetiredStillHeld() const;
    // At the end of the process: writes out what is pending, unless a
    // write into the open file does not end within waitMs (a thread the
    // system ended inside one holds its gate for good); then what is
    // pending is dropped. False then.
    bool SyncWithin(int32_t waitMs) NO_THREAD_SAFETY_ANALYSIS;
    // Around a fork: no write into the open file is under way across it
    // (a writer outside the log's lock holds its gate while it writes). In
    // the child the gate is made fresh and the pending bytes are dropped:
    // they are the parent's to write.
    void ForkPrepare() NO_THREAD_SAFETY_ANALYSIS {
        if (file_ != nullptr) {
            file_->Gate().Enter();
        }
    }
    void ForkParent() NO_THREAD_SAFETY_ANALYSIS {
        if (file_ != nullptr) {
            file_->Gate().Leave();
        }
    }
    void ForkChild() {
        if (file_ != nullptr) {
            file_->Gate().ReinitAfterFork();
        }
        stream_.DropPending();
    }

  private:
    int64_t DeliveredSoFar() const;
    // Takes fd (or nothing, for kNoDescriptor) as the open file, the old
    // one let go with its pending bytes dropped.
    void Take(int fd);
    // The open file holds size bytes; what is delivered from now on adds.
    void StartExpectedSize(int64_t size);
    int OpenPathAgain(const char* directory, const char* name, bool evenIfThere);
    // Under the directory lock: moves the plain file name to its backup
    // and opens a new one; continues it when the move fails. The new
    // descriptor, or kNoDescriptor.
    int MoveToBackupAndOpen(const char* directory, const char* name);
    // Moves the plain file backup to "<backup>.del" without replacing
    // anything; a file left there by a retirement not deleted yet is
    // deleted first. True when it moved.
    bool RetireBackup(const char* directory);
    // The retired file at its name in the directory held is to be deleted.
    void MarkRetired();
    // Opens name in the directory held, making the directories its path
    // parts name.
    int OpenInDirectory(const char* name, int flags);

    SharedFile file_;
    static constexpr int kRetired = 4;
    std::weak_ptr<OpenFile> retired_[kRetired];
    int nextRetired_ = 0;
    FileStream stream_;
    int64_t written_ = 0;
    // The size the open file has unless it was cut: its size when opened
    // or last tested, and the bytes that reached it since. Writes that
    // failed (a full disk) are not in it, though the count has them.
    int64_t expectedSize_ = 0;
    // The stream's and the outside writes' bytes delivered when
    // expectedSize_ was last brought up to date.
    int64_t deliveredSeen_ = 0;
    // Monotonic time before which a full file is not closed for another
    // backup attempt; 0 when the last backup did not fail.
    int64_t backupRetryMs_ = 0;
    Clock* clock_;
    RotationListener* listener_ = nullptr;
    RetireListener* retireListener_ = nullptr;
    // A retired file waits for deletion as retiredToDelete_ in
    // retiredDirectory_.
    bool retiredPending_ = false;
    // From the first open on, a retired file that a crash left is deleted.
    bool strayLooked_ = false;
    StringBuffer retiredToDelete_;
    StringBuffer retiredName_;
    SharedHeldDirectory retiredDirectory_;
    int openError_ = 0;
    uint64_t moves_ = 0;
    LogDirectory directory_;
    NumberedNameProbe probe_;
    DayArchive archive_;
    // Names of an open, kept to spare the allocations.
    StringBuffer path_;
    StringBuffer backupPath_;
};

}  // namespace vosk
