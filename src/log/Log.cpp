#include "log/Log.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "log/ArchiveCompression.h"
#include "log/LogPaths.h"
#include "log/PruneLine.h"
#include "log/RecordText.h"
#include "text/RecordBuffer.h"

#include "platform/CatchAll.h"
#include "platform/Directory.h"
#include "platform/HeldDirectory.h"
#include "platform/Module.h"
#include "platform/Poll.h"
#include "platform/Thread.h"
#include "platform/Time.h"

namespace vosk {

namespace {

// Room for the executable's directory on every system we build for.
constexpr size_t kDirectoryBuffer = 4096;
const char kRawIndentText[] = "                         ";
static_assert(sizeof(kRawIndentText) == Log::kRawIndent + 1, "raw indent is 25 blanks");

// The log this thread is writing a record or raw text to, if any. A call
// for the same log that arrives on the same thread meanwhile (from a signal
// handler) would otherwise pass the recursive lock and land inside the
// record in progress.
thread_local const Log* logInProgress = nullptr;

// Marks the thread as inside a log for a scope; false when it already was
// inside that one (the call is then dropped). Marked before the lock is
// taken and cleared after it is released, so that no handler ever enters
// the lock's own code twice either.
class InProgress {
  public:
    // The thread's slot is looked up once for both ends of the scope.
    explicit InProgress(const Log* log)
        : slot_(&logInProgress), outer_(*slot_), entered_(outer_ != log) {
        if (entered_) {
            *slot_ = log;
            std::atomic_signal_fence(std::memory_order_seq_cst);
        }
    }
    ~InProgress() {
        if (entered_) {
            std::atomic_signal_fence(std::memory_order_seq_cst);
            *slot_ = outer_;
        }
    }
    InProgress(const InProgress&) = delete;
    InProgress& operator=(const InProgress&) = delete;
    bool Entered() const { return entered_; }

  private:
    const Log** const slot_;
    const Log* const outer_;
    const bool entered_;
};

// The stamp of records rendered before the lock is taken: the text of the
// current second is kept per thread, as the log keeps its own.
thread_local RecordStamp threadStamp;

// Releases a lock taken beforehand when the scope ends.
class SCOPED_CAPABILITY HeldLock {
  public:
    explicit HeldLock(Lock* lock) REQUIRES(lock) : lock_(lock) {}
    ~HeldLock() RELEASE() { lock_->Release(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

  private:
    Lock* const lock_;
};

// CatchAll for work done under a lock. The analysis follows no lock into a
// lambda: here the caller's hold is checked, and the work, marked as
// needing the lock, is checked as holding it.
template <class Work>
bool CatchAllHeld([[maybe_unused]] const Lock& lock, Work&& work) REQUIRES(lock) {
    return platform::CatchAll(work);
}

}  // namespace

Log::Log(Clock* clock)
    : clock_(clock != nullptr ? clock : Clock::System()), file_(clock_), rotation_(clock_) {
    // An empty text resolves to the default directory. No file is touched
    // before the first record.
    SetDirectory("");
    lastWriteTime_ = clock_->Time();
}

Log::~Log() {
    platform::CatchAll([&] {
        LockGuard guard(lock_);
        file_.Stream().Sync();
    });
    // Its deletion may be pending still: no later pass would see it.
    DeleteRetired();
}

void Log::SetDirectory(const char* directory) {
    if (directory == nullptr) {
        return;
    }
    char executableDirectory[kDirectoryBuffer];
    platform::ExecutableDirectory(executableDirectory, sizeof(executableDirectory));
    StringBuffer resolved;
    ResolveDirectory(directory, executableDirectory, resolved);
    LockGuard guard(lock_);
    rotation_.SetDirectory(resolved.CStr());
}

void Log::SetSizeLimit(int32_t limit) {
    LockGuard guard(lock_);
    rotation_.SetSizeLimit(limit);
}

void Log::SetNameAndLevel(const char* name, int32_t level) {
    LockGuard guard(lock_);
    name_.Assign(name);
    level_.store(level, std::memory_order_relaxed);
}

void Log::SetLevel(int32_t level) {
    LockGuard guard(lock_);
    level_.store(level, std::memory_order_relaxed);
}

void Log::SetArchive(int32_t keepDays) {
    LockGuard guard(lock_);
    file_.Archive().SetKeepDays(keepDays);
}

void Log::SetCompress(bool on) {
    LockGuard guard(lock_);
    file_.Archive().SetCompress(on);
}

namespace {

struct CompressJob {
    DayArchive::Kept file;
    platform::HeldDirectory* day = nullptr;
    bool listed = false;  // kept since the last call, rather than swept up
};

const char* BaseName(const char* name) {
    const char* base = name;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            base = p + 1;
        }
    }
    return base;
}

bool EndsWith(const std::string& text, const char* end) {
    const size_t n = strlen(end);
    return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

// The plain archived files of base beneath the log's directory held, and
// the stems of ".gz.tmp" files left there: each level opened beneath the
// one above, never through a link.
void FindUncompressed(const platform::HeldDirectory* directory, const char* base,
                      std::vector<CompressJob>* jobs) {
    auto subdirectories = [](const platform::HeldDirectory* parent, const char* prefix) {
        std::vector<std::string> names;
        for (platform::DirectoryWalk walk(parent, prefix); walk.AtEntry(); walk.Next()) {
            const platform::DirEntry& e = walk.Entry();
            if (e.isDirectory && !e.isLink && e.addressable) {
                names.emplace_back(e.name);
            }
        }
        return names;
    };
    for (const std::string& year : subdirectories(directory, "logfiles-")) {
        const platform::HeldDirectoryPtr yearHeld(
            platform::DirectoryOpenIn(directory, year.c_str()));
        for (const std::string& month : subdirectories(yearHeld.get(), "")) {
            const platform::HeldDirectoryPtr monthHeld(
                platform::DirectoryOpenIn(yearHeld.get(), month.c_str()));
            for (const std::string& day : subdirectories(monthHeld.get(), "")) {
                const platform::HeldDirectoryPtr dayHeld(
                    platform::DirectoryOpenIn(monthHeld.get(), day.c_str()));
                const std::string folder = year + "/" + month + "/" + day;
                for (platform::DirectoryWalk walk(dayHeld.get(), base); walk.AtEntry();
                     walk.Next()) {
                    const platform::DirEntry& e = walk.Entry();
                    if (e.isDirectory || e.isLink || !e.addressable) {
                        continue;
                    }
                    std::string name = e.name;
                    if (EndsWith(name, ".gz.tmp")) {
                        name.resize(name.size() - strlen(".gz.tmp"));
                    }
                    if (IsArchivedName(name.c_str(), base)) {
                        CompressJob job;
                        job.file = DayArchive::Kept{folder, name};
                        jobs->push_back(std::move(job));
                    }
                }
            }
        }
    }
}

}  // namespace

void Log::CompressArchive(bool sweep) {
    LockGuard compressing(&compressLock_);
    std::vector<CompressJob> jobs;
    StringBuffer directory;
    std::string base;
    SharedHeldDirectory held;
    {
        LockGuard guard(lock_);
        DayArchive& archive = file_.Archive();
        if (!archive.Compress() || file_.Held() == nullptr) {
            return;
        }
        held = file_.DirectoryShare();
        directory.Assign(rotation_.Directory());
        if (directory.Length() == 0 || !file_.DirectoryInPlace(directory.CStr())) {
            return;
        }
        base = BaseName(name_.CStr());
    }
    platform::CatchAll([&] {
        if (sweep) {
            FindUncompressed(held.get(), base.c_str(), &jobs);
        }
    });
    RotationListener* listener = nullptr;
    {
        LockGuard guard(lock_);
        DayArchive& archive = file_.Archive();
        // A file moved away may still take a record from a writer that
        // held it: nothing is compressed before it is let go.
        if (file_.RetiredStillHeld() || file_.Held() == nullptr) {
            return;
        }
        platform::CatchAll([&] {
            // A kept file the sweep found too is one job, a kept one: it
            // is told once compressed.
            const size_t swept = jobs.size();
            for (DayArchive::Kept& kept : archive.TakeKept()) {
                const auto same = std::find_if(
                    jobs.begin(), jobs.begin() + static_cast<std::ptrdiff_t>(swept),
                    [&](const CompressJob& job) {
                        return job.file.folder == kept.folder && job.file.name == kept.name;
                    });
                if (same != jobs.begin() + static_cast<std::ptrdiff_t>(swept)) {
                    same->listed = true;
                    continue;
                }
                CompressJob job;
                job.file = std::move(kept);
                job.listed = true;
                jobs.push_back(std::move(job));
            }
        });
        // Each day folder held on its own: the log's directory held may be
        // replaced meanwhile, these stay valid.
        for (CompressJob& job : jobs) {
            job.day = platform::DirectoryHoldBeneath(file_.Held(), job.file.folder.c_str());
        }
        listener = file_.Listener();
    }
    std::vector<DayArchive::Kept> again;
    StringBuffer path;
    for (CompressJob& job : jobs) {
        if (job.day == nullptr) {
            continue;
        }
        const char* name = job.file.name.c_str();
        const CompressResult result = CompressArchived(job.day, name);
        if (result == CompressResult::kNone) {
            // A ".tmp" whose plain file is gone (pruned) is all that is left.
            platform::EntryDeleteIn(job.day, (job.file.name + ".gz.tmp").c_str());
        }
        platform::DirectoryRelease(job.day);
        if (result == CompressResult::kChanged && job.listed) {
            platform::CatchAll([&] { again.push_back(std::move(job.file)); });
        } else if (result == CompressResult::kCompressed && job.listed && listener != nullptr) {
            path.Format("%s/%s/%s.gz", directory.CStr(), job.file.folder.c_str(), name);
            listener->OnRotated(path.CStr());
        }
    }
    if (!again.empty()) {
        LockGuard guard(lock_);
        file_.Archive().KeepListed(std::move(again));
    }
}

PruneReport Log::PruneArchiveByAge() {
    StringBuffer directory;
    int32_t keepDays = 0;
    SharedHeldDirectory held;
    std::string heldPath;
    {
        LockGuard guard(lock_);
        keepDays = file_.Archive().KeepDays();
        // The archive lies beside the file, in the directory the log holds.
        directory.Assign(rotation_.Directory());
        held = file_.DirectoryShare();
        heldPath = file_.DirectoryPath();
    }
    std::tm today;
    if (keepDays <= 0 || held == nullptr || directory.Length() == 0 ||
        !LogFile::DirectoryInPlace(held, heldPath.c_str(), directory.CStr()) ||
        !clock_->LocalCalendar(clock_->Time(), &today)) {
        return PruneReport();
    }
    return PruneDaysOlderThan(held.get(), keepDays, today);
}

void Log::TellPruned(const PruneReport& report) {
    if (report.entries.empty()) {
        return;
    }
    PruneListener* listener = pruneListener_.load(std::memory_order_acquire);
    if (listener != nullptr) {
        listener->OnPruned(report);
    }
    if (!pruneRecords_.load(std::memory_order_relaxed)) {
        return;
    }
    for (const PrunedEntry& entry : report.entries) {
        // Without memory for its text a line goes untold.
        std::string line;
        if (platform::CatchAll([&] { line = PruneLine(report, entry); })) {
            // The most important level: written whatever the threshold.
            WriteData(std::numeric_limits<int32_t>::min(), line.data(), line.size());
        }
    }
}

void Log::SetPruneListener(PruneListener* listener) {
    pruneListener_.store(listener, std::memory_order_release);
}

void Log::WriteRecord(int32_t level, const char* format, va_list args, int callerErrno) {
    WriteRecordOf(nullptr, level, format, args, callerErrno);
}

void Log::WriteRecordAt(const platform::ZonedTime& stamp, int32_t level, const char* format,
                        va_list args) {
    WriteRecordOf(&stamp, level, format, args, errno);
}

void Log::StampNow(platform::ZonedTime* now) {
    if (stampForm_.load(std::memory_order_relaxed) == StampForm::kLocal) {
        clock_->LocalTimeNow(&now->local);
        now->utcOffsetMinutes = 0;
    } else {
        clock_->ZonedTimeNow(now);
    }
}

void Log::WriteRecordOf(const platform::ZonedTime* given, int32_t level, const char* format,
                        va_list args, int callerErrno) {
    // The level test comes first, so that a dropped record costs no clock read.
    if (format == nullptr || level > level_.load(std::memory_order_relaxed)) {
        return;
    }
    // Before the clock too: reading local time is not safe to re-enter.
    InProgress inProgress(this);
    if (!inProgress.Entered()) {
        return;
    }
    platform::ZonedTime now;
    if (given == nullptr) {
        StampNow(&now);
        given = &now;
    }
    WriteStamped(*given, format, args, callerErrno);
}

void Log::WriteStamped(const platform::ZonedTime& stamp, const char* format, va_list args,
                       int callerErrno) {
    // One writer at a time: rendered straight into the stream, no copy.
    if (!contended_.load(std::memory_order_relaxed)) {
        if (lock_.TryAcquire()) {
            HeldLock held(&lock_);
            WriteLocked(stamp, format, args, callerErrno);
            return;
        }
        contended_.store(true, std::memory_order_relaxed);
    }
    WriteRendered(stamp, format, args, callerErrno);
}

void Log::WriteRendered(const platform::ZonedTime& stamp, const char* format, va_list args,
                        int callerErrno) {
    RecordBuffer record;
    RecordCount made;
    bool whole = false;
    platform::CatchAll([&] {
        const char* head = threadStamp.Render(stamp, stampForm_.load(std::memory_order_relaxed));
        made = MakeFormattedRecord(record, head, threadStamp.Length(), format, args, callerErrno);
        whole = !record.Lost();
    });
    if (!whole) {
        // Out of memory: as lost as a record the disk refused.
        LockGuard guard(lock_);
        gap_.Missed(stamp.local, ENOMEM);
    } else {
        if (lock_.TryAcquire()) {
            // Free, but while another writer's record is still on its way
            // to the file (it holds the file) the log is as busy as before.
            if (contended_.load(std::memory_order_relaxed) && !file_.Shared()) {
                contended_.store(false, std::memory_order_relaxed);
            }
        } else {
            contended_.store(true, std::memory_order_relaxed);
            lock_.Acquire();
        }
        SharedFile file;
        {
            HeldLock held(&lock_);
            file = WriteRenderedLocked(stamp, record.Data(), record.ContentLength(), made.count);
        }
        // Outside the lock: writers of one log overlap in the system call
        // rather than queue for the lock, and with O_APPEND the system
        // keeps each record whole.
        if (file != nullptr) {
            const int error =
                file->WriteAside(record.Data(), static_cast<size_t>(record.ContentLength()));
            // Counted under the lock, so that no report misses it or
            // counts it twice; a failure is rare enough for the wait.
            if (error != 0) {
                LockGuard guard(lock_);
                gap_.Missed(stamp.local, error);
            }
        }
    }
    // The caller finds errno as it left it.
    errno = callerErrno;
}

SharedFile Log::WriteRenderedLocked(const platform::ZonedTime& stamp, const char* record,
                                    int32_t length, int64_t count) {
    if (closed_) {
        return nullptr;
    }
    FileStream& stream = file_.Stream();
    SharedFile aside;
    CatchAllHeld(lock_, [&]() REQUIRES(lock_) {
        RotateForRecord();
        // Without a file nothing is written or counted, and raw text
        // pending is dropped, as a sync does.
        if (!file_.IsOpen()) {
            stream.WriteAfterPending(record, length);
            gap_.Missed(stamp.local, file_.OpenError());
            return;
        }
        WriteGapLocked(stamp);
        file_.AddCount(count);
        if (stream.WritesStraightThrough()) {
            aside = file_.Share();
            return;
        }
        errno = 0;
        if (stream.WriteAfterPending(record, length) <= 0 && !stream.CutBeforeLineEnd()) {
            gap_.Missed(stamp.local, errno != 0 ? errno : EIO);
        }
    });
    stream.Shrink();
    return aside;
}

void Log::WriteGapLocked(const platform::ZonedTime& stamp) {
    if (gap_.Count() == 0) {
        return;
    }
    FileStream& stream = file_.Stream();
    // A record of its own, in a write of its own: whatever becomes of the
    // record after it, the gap is told once and exactly.
    stream.BeginRecord();
    const char* head = stamp_.Render(stamp, stampForm_.load(std::memory_order_relaxed));
    const RecordCount made = gap_.Make(stream, head, stamp_.Length(), stamp.local);
    const int32_t synced = stream.EndRecord(made.whole);
    if (made.whole && (synced > 0 || stream.CutBeforeLineEnd())) {
        file_.AddCount(made.count);
        gap_.Clear();
    }
}

template <class Fill>
WriteResult Log::WriteHeld(const platform::ZonedTime& stamp, Fill fill) {
    WriteResult result;
    if (closed_) {
        result.status = WriteResult::kSkipped;
        return result;
    }
    FileStream& stream = file_.Stream();
    bool whole = false;
    bool open = false;
    CatchAllHeld(lock_, [&]() REQUIRES(lock_) {
        RotateForRecord();
        open = file_.IsOpen();
        if (open) {
            WriteGapLocked(stamp);
        }
        stream.BeginRecord();
        whole = fill(stream);
    });
    // One write for the whole record; a record that failed half way is not
    // written (what was stored waits for the next sync, as before).
    errno = 0;
    const int32_t synced = stream.EndRecord(whole);
    if (!open) {
        result.status = WriteResult::kNotOpened;
        result.error = file_.OpenError();
    } else if (whole && synced <= 0) {
        result.status = WriteResult::kNotWritten;
        // A write that wrote nothing and set no error.
        result.error = errno != 0 ? errno : EIO;
    }
    if (result.Failed()) {
        if (result.status == WriteResult::kNotOpened || !stream.CutBeforeLineEnd()) {
            gap_.Missed(stamp.local, result.error);
        }
    } else if (!whole) {
        gap_.Missed(stamp.local, ENOMEM);
    }
    stream.Shrink();
    return result;
}

void Log::WriteLocked(const platform::ZonedTime& stamp, const char* format, va_list args,
                      int callerErrno) {
    WriteHeld(stamp, [&](FileStream& stream) REQUIRES(lock_) {
        // Formatted text needs a file, as the stream's Print does.
        if (file_.IsOpen()) {
            const char* head = stamp_.Render(stamp, stampForm_.load(std::memory_order_relaxed));
            file_.AddCount(
                MakeFormattedRecord(stream, head, stamp_.Length(), format, args, callerErrno)
                    .count);
        }
        return true;
    });
    // The caller finds errno as it left it.
    errno = callerErrno;
}

WriteResult Log::WriteData(int32_t level, const char* data, size_t length, bool raw,
                           bool continued) {
    return WriteDataOf(nullptr, level, data, length, raw, continued);
}

WriteResult Log::WriteDataAt(const platform::ZonedTime& stamp, int32_t level, const char* data,
                             size_t length, bool raw, bool continued) {
    return WriteDataOf(&stamp, level, data, length, raw, continued);
}

WriteResult Log::WriteDataOf(const platform::ZonedTime* given, int32_t level, const char* data,
                             size_t length, bool raw, bool continued) {
    WriteResult skipped;
    skipped.status = WriteResult::kSkipped;
    if ((data == nullptr && length != 0) || level > level_.load(std::memory_order_relaxed)) {
        return skipped;
    }
    InProgress inProgress(this);
    if (!inProgress.Entered()) {
        return skipped;
    }
    platform::ZonedTime now;
    if (given == nullptr) {
        StampNow(&now);
        given = &now;
    }
    LockGuard guard(lock_);
    return WriteDataLocked(*given, data, length, raw, continued);
}

void Log::SetTakeBack(bool on) {
    LockGuard guard(lock_);
    file_.Stream().SetTakeBack(on);
}

void Log::SetGapRecords(bool on) {
    LockGuard guard(lock_);
    gap_.SetOn(on);
}

void Log::SetRotationListener(RotationListener* listener) {
    LockGuard guard(lock_);
    file_.SetRotationListener(listener);
}

WriteResult Log::WriteDataLocked(const platform::ZonedTime& stamp, const char* data, size_t length,
                                 bool raw, bool continued) {
    return WriteHeld(stamp, [&](FileStream& stream) REQUIRES(lock_) {
        // Without a file the record is dropped whole, as a formatted one is.
        if (!file_.IsOpen()) {
            return true;
        }
        const char* head =
            raw ? kRawIndentText : stamp_.Render(stamp, stampForm_.load(std::memory_order_relaxed));
        const int32_t headLength = raw ? kRawIndent : stamp_.Length();
        // Every head ends in a blank, which no plain record has anything in
        // place of: the mark cannot be taken for a message's text.
        char marked[64];
        if (continued && headLength > 0 && headLength <= static_cast<int32_t>(sizeof(marked))) {
            std::memcpy(marked, head, static_cast<size_t>(headLength));
            marked[headLength - 1] = kContinuedMark;
            head = marked;
        }
        const RecordCount made = MakeDataRecord(stream, head, headLength, data, length);
        file_.AddCount(made.count);
        return made.whole;
    });
}

void Log::RotateForRecord() {
    // The day decision reads the clock again: a record stamped just before
    // midnight may be the first of the next day's file.
    lastWriteTime_ = clock_->Time();
    const std::tm* now = rotation_.CalendarOf(lastWriteTime_);
    // Nearly every record finds the same day and room in the file: that
    // test is made here, and Rotate is called only when one of them fails.
    if (now != nullptr && rotation_.Due(*now, file_.Written())) {
        Rotate(*now, true);
    }
}

void Log::WriteRaw(const char* text) {
    if (text == nullptr) {
        return;
    }
    InProgress inProgress(this);
    if (!inProgress.Entered()) {
        return;
    }
    LockGuard guard(lock_);
    if (closed_) {
        return;
    }
    CatchAllHeld(lock_, [&]() REQUIRES(lock_) {
        file_.AddCount(file_.Stream().Write(kRawIndentText, -1));
        file_.AddCount(file_.Stream().Write(text, -1));
    });
}

void Log::Flush() {
    LockGuard guard(lock_);
    if (closed_) {
        return;
    }
    CatchAllHeld(lock_, [&]() REQUIRES(lock_) { file_.Stream().Sync(); });
}

void Log::CheckRotation() {
    std::tm now;
    if (!clock_->LocalCalendar(clock_->Time(), &now)) {
        return;
    }
    LockGuard guard(lock_);
    if (closed_) {
        return;
    }
    CatchAllHeld(lock_, [&]() REQUIRES(lock_) { Rotate(now, false); });
}

Log::Directory Log::GetDirectory() {
    StringBuffer configured;
    time_t lastWrite = 0;
    SharedHeldDirectory held;
    std::string heldPath;
    {
        LockGuard guard(lock_);
        configured.Assign(rotation_.ConfiguredDirectory());
        lastWrite = lastWriteTime_;
        held = file_.DirectoryShare();
        heldPath = file_.DirectoryPath();
    }
    // Nothing is pruned where a link has replaced the directory.
    const bool inPlace = LogFile::DirectoryInPlace(held, heldPath.c_str(), configured.CStr());
    return Directory{StringBuffer(inPlace ? configured.CStr() : ""), lastWrite,
                     inPlace ? held : SharedHeldDirectory()};
}

void Log::ForkChild() {
    lock_.ReinitAfterFork();
    compressLock_.ReinitAfterFork();
    file_.ForkChild();
}

bool Log::Close(int32_t lockWaitMs) {
    if (!lock_.TryAcquireFor(lockWaitMs)) {
        return false;
    }
    if (!closed_) {
        closed_ = true;
        CatchAllHeld(lock_, [&]() REQUIRES(lock_) { file_.SyncWithin(lockWaitMs); });
        // The process is ending: a record on its way to the file is let
        // finish first, or the end would cut it off inside its line. A
        // writer still holding the file after the wait keeps it open.
        platform::PollEveryMs(lockWaitMs, [&]() REQUIRES(lock_) { return !file_.Shared(); });
        file_.CloseDiscarding();
    }
    lock_.Release();
    DeleteRetired();
    return true;
}

void Log::Rotate(const std::tm& now, bool reopen) {
    const int32_t limit = rotation_.SizeLimit();
    if (!rotation_.IsLaterDay(now)) {
        if (file_.Written() < limit) {
            return;
        }
        // Full by the count, but maybe cut short by another program since:
        // then the file has room again.
        if (file_.FollowTruncation() && file_.Written() < limit) {
            return;
        }
        // A backup that failed a moment ago is not tried again at every
        // record: until the wait is over they go on into the open file.
        if (file_.BackupWaiting()) {
            return;
        }
        // Numbering restarts in a new quarter of an hour, counted from the
        // day's start and not from the last reopen.
        if (rotation_.InAnotherQuarter(now)) {
            file_.RestartNumbering();
        }
    } else {
        file_.RestartNumbering();
        rotation_.StartDay(now);
    }

    file_.Close();
    if (reopen) {
        file_.Open(rotation_.Directory(), name_.CStr(), now, limit);
    } else {
        file_.PrepareOpen(rotation_.Directory(), limit);
    }
}

void Log::ReopenPath(bool evenIfThere) {
    CatchAllHeld(lock_, [&]() REQUIRES(lock_) {
        const char* directory = rotation_.Directory();
        int reopened = evenIfThere ? file_.OpenAgain(directory, name_.CStr())
                                   : file_.OpenIfMoved(directory, name_.CStr());
        if (reopened != FileStream::kNoDescriptor) {
            file_.ReplaceWith(reopened);
        }
    });
}

void Log::Reopen() {
    LockGuard guard(lock_);
    if (!closed_) {
        ReopenPath(true);
    }
}

bool Log::RotateNow() {
    std::tm now;
    if (!clock_->LocalCalendar(clock_->Time(), &now)) {
        return false;
    }
    LockGuard guard(lock_);
    if (closed_) {
        return false;
    }
    bool moved = false;
    CatchAllHeld(lock_, [&]() REQUIRES(lock_) {
        // Before the first record the day's directory is not chosen yet.
        const char* directory =
            rotation_.IsLaterDay(now) ? rotation_.ConfiguredDirectory() : rotation_.Directory();
        const platform::HeldDirectoryPtr held(platform::DirectoryHold(directory));
        if (platform::EntryIn(held.get(), name_.CStr()).size <= 0) {
            return;
        }
        // Full for the size decision: the next step moves it whatever the
        // day, and a backup that failed a moment ago is tried again now.
        const uint64_t movesBefore = file_.Moves();
        file_.SetCount(rotation_.SizeLimit());
        file_.ClearBackupWait();
        Rotate(now, true);
        moved = file_.Moves() != movesBefore;
    });
    return moved;
}

void Log::ReopenIfMoved() {
    LogFile::Outlook outlook;
    StringBuffer directory;
    StringBuffer name;
    {
        LockGuard guard(lock_);
        if (closed_ || !file_.TakeOutlook(outlook)) {
            return;
        }
        directory.Assign(rotation_.Directory());
        name.Assign(name_.CStr());
    }
    if (outlook.directoryPath == directory.CStr() && LogFile::StillInPlace(outlook, name.CStr())) {
        return;
    }
    LockGuard guard(lock_);
    ReopenPath(false);
}

void Log::FollowTruncation() {
    LogFile::Outlook outlook;
    {
        LockGuard guard(lock_);
        if (closed_ || !file_.TakeOutlook(outlook)) {
            return;
        }
    }
    if (!LogFile::LooksCut(outlook)) {
        return;
    }
    LockGuard guard(lock_);
    if (closed_) {
        return;
    }
    CatchAllHeld(lock_, [&]() REQUIRES(lock_) { file_.FollowTruncation(); });
}

void Log::SetRetireListener(RetireListener* listener) {
    LockGuard guard(lock_);
    file_.SetRetireListener(listener);
}

void Log::DeleteRetired() {
    LogFile::Retired retired;
    {
        LockGuard guard(lock_);
        if (!file_.TakeRetired(retired)) {
            return;
        }
    }
    platform::CatchAll([&] { LogFile::DeleteRetired(retired); });
}

}  // namespace vosk
