#include "log/LogFile.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "log/LogPaths.h"
#include "platform/DirectoryLock.h"
#include "platform/Files.h"
#include "platform/HeldDirectory.h"
#include "platform/Poll.h"

namespace vosk {

int32_t NumberedNameProbe::Choose(const platform::HeldDirectory* directory, const char* name,
                                  const std::tm& now, int32_t limit, StringBuffer& numbered) {
    const int quarter = now.tm_min / 15 + 1;
    for (int probe = 0; probe < kProbes; ++probe) {
        int32_t n = sequence_;
        sequence_ = sequence_ == INT32_MAX ? 1 : sequence_ + 1;
        numbered.Format("%s_%02d%02d[%03d].log", name, now.tm_hour, quarter, n);
        if (last_ == numbered.CStr()) {
            continue;
        }
        const int64_t size = platform::EntryIn(directory, numbered.CStr()).size;
        if (size >= limit) {
            continue;
        }
        last_.Assign(numbered.CStr());
        return static_cast<int32_t>(size);
    }
    return 0;
}

LogFile::~LogFile() {
    Take(FileStream::kNoDescriptor);
}

bool LogFile::RetiredStillHeld() const {
    for (const std::weak_ptr<OpenFile>& retired : retired_) {
        if (!retired.expired()) {
            return true;
        }
    }
    return false;
}

void LogFile::Take(int fd) {
    stream_.Attach(FileStream::kNoDescriptor);
    if (file_ != nullptr) {
        retired_[nextRetired_] = file_;
        nextRetired_ = (nextRetired_ + 1) % kRetired;
    }
    file_.reset();
    if (fd == FileStream::kNoDescriptor) {
        return;
    }
    // Not make_shared: the reference count, which every writer outside the
    // lock changes, stays off the file's own lines.
    OpenFile* opened = new (std::nothrow) OpenFile(fd);
    if (opened == nullptr) {
        platform::FileClose(fd);
        return;
    }
    try {
        file_ = SharedFile(opened);
    } catch (const std::bad_alloc&) {
        return;  // the file was deleted with its descriptor
    }
    stream_.Attach(fd, &opened->Gate());
}

void LogFile::Close() {
    stream_.Detach();
    Take(FileStream::kNoDescriptor);
}

bool LogFile::SyncWithin(int32_t waitMs) {
    if (file_ == nullptr) {
        stream_.Sync();  // without a file: drops what is pending
        return true;
    }
    WriteGate& gate = file_->Gate();
    if (!platform::PollEveryMs(waitMs, [&] { return gate.TryEnter(); })) {
        stream_.DropPending();
        return false;
    }
    stream_.Sync();
    gate.Leave();
    return true;
}

void LogFile::CloseDiscarding() {
    Take(FileStream::kNoDescriptor);
}

void LogFile::PrepareOpen(const char* directory, int32_t limit) {
    directory_.Hold(directory);
    written_ = limit;
}

int LogFile::OpenInDirectory(const char* name, int flags) {
    MakeDirectoriesBeneath(directory_.Get(), name);
    return platform::FileOpenIn(directory_.Get(), name, flags);
}

void LogFile::MarkRetired() {
    retiredToDelete_.Assign(retiredName_.CStr());
    retiredDirectory_ = directory_.Share();
    retiredPending_ = true;
}

bool LogFile::RetireBackup(const char* directory) {
    const platform::HeldDirectory* dir = directory_.Get();
    // Only a plain file: anything else at the backup's name (a directory)
    // stays, and the file is continued as when its move fails.
    if (platform::EntryIn(dir, backupPath_.CStr()).kind != platform::EntryKind::kPlainFile) {
        return false;
    }
    retiredName_.Format("%s.del", backupPath_.CStr());
    bool moved = platform::FileMoveNoReplaceIn(dir, backupPath_.CStr(), dir, retiredName_.CStr());
    // The file retired last time is still there when rotations come faster
    // than the maintenance thread, or when a crash left it: then this
    // thread deletes it after all.
    if (!moved &&
        platform::EntryIn(dir, retiredName_.CStr()).kind == platform::EntryKind::kPlainFile &&
        DirectoryInPlace(directory)) {
        moved = platform::EntryDeleteIn(dir, retiredName_.CStr()) &&
                platform::FileMoveNoReplaceIn(dir, backupPath_.CStr(), dir, retiredName_.CStr());
    }
    if (!moved) {
        return false;
    }
    MarkRetired();
    return true;
}

int LogFile::MoveToBackupAndOpen(const char* directory, const char* name) {
    // A move that fails (a read-only directory, a directory with the
    // backup's name, on Windows a reader that holds the backup without
    // letting it be deleted) keeps both files: the file is then continued
    // rather than emptied, and the move is tried again after a wait.
    const platform::HeldDirectory* dir = directory_.Get();
    backupPath_.Format("%s.bak", name);
    const bool kept = archive_.Keep(dir, name, backupPath_.CStr());
    // With the archive on, the listener hears of a file where it stays: in
    // the archive, or once compressed there (Log::CompressArchive).
    if (kept && listener_ != nullptr && !archive_.Compress()) {
        path_.Format("%s/%s/%s", directory, archive_.LastFolder(), archive_.LastName());
        listener_->OnRotated(path_.CStr());
    }
    const bool retired = !kept && RetireBackup(directory);
    // Only the moment between the two moves finds no backup.
    if (!platform::FileMoveNoReplaceIn(dir, name, dir, backupPath_.CStr())) {
        if (retired) {
            // The old backup back in its place, if the maintenance thread
            // has not deleted it yet.
            platform::FileMoveNoReplaceIn(dir, retiredName_.CStr(), dir, backupPath_.CStr());
        }
        backupRetryMs_ = clock_->MonotonicMs() + kBackupRetryMs;
        const int fd = OpenInDirectory(name, platform::kOpenCreate | platform::kOpenAppend);
        if (fd != FileStream::kNoDescriptor) {
            written_ = platform::EntryIn(dir, name).size;
        }
        return fd;
    }
    ++moves_;
    // Told once the backup is in place again: waking the maintenance thread
    // between the moves would leave the backup missing the longer.
    if (retired && retireListener_ != nullptr) {
        retireListener_->OnRetired();
    }
    if (listener_ != nullptr && archive_.KeepDays() <= 0) {
        path_.Format("%s/%s", directory, backupPath_.CStr());
        listener_->OnRotated(path_.CStr());
    }
    return OpenInDirectory(name, platform::kOpenCreate | platform::kOpenAppend);
}

bool LogFile::TakeRetired(Retired& retired) {
    if (!retiredPending_) {
        return false;
    }
    retiredPending_ = false;
    retired.name = retiredToDelete_.CStr();
    retired.directory = retiredDirectory_;
    retired.directoryPath = directory_.Path();
    return true;
}

void LogFile::DeleteRetired(const Retired& retired) {
    const char* directory = retired.directoryPath.c_str();
    if (retired.directory != nullptr && DirectoryInPlace(retired.directory, directory, directory)) {
        platform::EntryDeleteIn(retired.directory.get(), retired.name.c_str());
    }
}

bool LogFile::TakeOutlook(Outlook& outlook) {
    if (file_ == nullptr) {
        return false;
    }
    outlook.file = file_;
    outlook.directory = directory_.Share();
    outlook.directoryPath = directory_.Path();
    const int64_t delivered = DeliveredSoFar();
    expectedSize_ += delivered - deliveredSeen_;
    deliveredSeen_ = delivered;
    outlook.expectedSize = expectedSize_;
    return true;
}

bool LogFile::StillInPlace(const Outlook& outlook, const char* name) {
    platform::FileId open;
    if (outlook.file == nullptr || outlook.directory == nullptr ||
        !platform::FileIdOf(outlook.file->Descriptor(), &open)) {
        return false;
    }
    const platform::HeldDirectory* dir = outlook.directory.get();
    if (!platform::DirectoryIsAt(dir, outlook.directoryPath.c_str())) {
        return false;
    }
    const platform::EntryInfo atPath = platform::EntryIn(dir, name);
    return atPath.kind != platform::EntryKind::kNone && atPath.id == open;
}

bool LogFile::LooksCut(const Outlook& outlook) {
    if (outlook.file == nullptr) {
        return false;
    }
    const int64_t onDisk = platform::FileSizeOfOpen(outlook.file->Descriptor());
    return onDisk >= 0 && onDisk < outlook.expectedSize;
}

void LogFile::Open(const char* directory, const char* name, const std::tm& now, int32_t limit) {
    // The file this log had open, to tell whether another process (a forked
    // child, another program given the same path) has moved it since.
    platform::FileId had{};
    const bool hadFile = IsOpen() && platform::FileIdOf(stream_.Descriptor(), &had);
    if (IsOpen()) {
        Close();
    }
    // A directory removed since the last open is made again.
    if (!directory_.Hold(directory)) {
        openError_ = errno;
        written_ = limit;
        StartExpectedSize(0);
        return;
    }
    directory_.FollowVanished();
    const platform::HeldDirectory* dir = directory_.Get();
    if (!strayLooked_) {
        strayLooked_ = true;
        retiredName_.Format("%s.bak.del", name);
        MarkRetired();
    }
    written_ = probe_.Choose(dir, name, now, limit, path_);

    // Appending, never emptying: a file that another process started at the
    // path a moment ago keeps what it wrote there.
    constexpr int kCreate = platform::kOpenCreate | platform::kOpenAppend;
    backupRetryMs_ = 0;
    int fd = FileStream::kNoDescriptor;
    // One process at a time moves the file and opens the next; otherwise
    // each would move the other's fresh file, or find its own move failing
    // and wait for the retry while the file grows past its limit. A lock
    // that another program keeps past its short wait is gone without: two
    // processes rotating at that moment may then each make a backup (a
    // file moved by the other is still continued, not moved again), and
    // the next rotation tries the lock again.
    {
        const platform::DirectoryLock lock(dir);
        const platform::EntryInfo atPath = platform::EntryIn(dir, name);
        if (hadFile && !(atPath.kind != platform::EntryKind::kNone && atPath.id == had)) {
            // Moved already by another process: what is at the path now is its
            // successor, continued rather than moved again. Records written
            // into the moved file stay there.
            if (atPath.kind == platform::EntryKind::kNone ||
                atPath.kind == platform::EntryKind::kPlainFile) {
                fd = OpenInDirectory(name, kCreate);
            }
        } else if (atPath.kind == platform::EntryKind::kPlainFile) {
            fd = MoveToBackupAndOpen(directory, name);
        } else if (atPath.kind == platform::EntryKind::kNone) {
            fd = OpenInDirectory(name, kCreate);
        } else {
            errno = EEXIST;
        }
        openError_ = fd == FileStream::kNoDescriptor ? errno : 0;
    }
    // A file that another process started counts from its size.
    const int64_t size = fd == FileStream::kNoDescriptor ? 0 : platform::EntryIn(dir, name).size;
    if (size > written_) {
        written_ = size;
    }
    // Anything else at the path (a directory, a link, a FIFO, a device) is
    // not the log's: it is neither moved nor opened, records are dropped
    // and the next open looks again.
    if (fd == FileStream::kNoDescriptor) {
        written_ = limit;
    }
    Take(fd);
    StartExpectedSize(size);
}

bool LogFile::DirectoryInPlace(const char* directory) const {
    return DirectoryInPlace(directory_.Share(), directory_.Path().c_str(), directory);
}

bool LogFile::DirectoryInPlace(const SharedHeldDirectory& held, const char* heldPath,
                               const char* directory) {
    return held == nullptr || strcmp(heldPath, directory) != 0 ||
           platform::DirectoryIsAt(held.get(), directory);
}

int64_t LogFile::DeliveredSoFar() const {
    return stream_.Delivered() + (file_ != nullptr ? file_->DeliveredAside() : 0);
}

void LogFile::StartExpectedSize(int64_t size) {
    expectedSize_ = size;
    deliveredSeen_ = DeliveredSoFar();
}

int LogFile::OpenIfMoved(const char* directory, const char* name) {
    return OpenPathAgain(directory, name, false);
}

int LogFile::OpenAgain(const char* directory, const char* name) {
    return OpenPathAgain(directory, name, true);
}

int LogFile::OpenPathAgain(const char* directory, const char* name, bool evenIfThere) {
    int fd = stream_.Descriptor();
    platform::FileId open;
    if (fd == FileStream::kNoDescriptor || !platform::FileIdOf(fd, &open) ||
        !directory_.Hold(directory)) {
        return FileStream::kNoDescriptor;
    }
    // Its directory gone from the path: made again where it was.
    const bool directoryMoved = directory_.FollowVanished();
    const platform::HeldDirectory* dir = directory_.Get();
    const platform::EntryInfo atPath = platform::EntryIn(dir, name);
    if (!evenIfThere && !directoryMoved && atPath.kind != platform::EntryKind::kNone &&
        atPath.id == open) {
        return FileStream::kNoDescriptor;
    }
    // Removed, renamed away (as a log rotation tool does), or its
    // directory gone: records would follow the file out of sight. A file
    // that someone put at the path meanwhile is continued, not emptied.
    // Until the path can be opened the old file keeps them.
    if (atPath.kind != platform::EntryKind::kNone &&
        atPath.kind != platform::EntryKind::kPlainFile) {
        return FileStream::kNoDescriptor;
    }
    path_.Assign(name);
    return OpenInDirectory(name, platform::kOpenCreate | platform::kOpenAppend);
}

void LogFile::ReplaceWith(int fd) {
    stream_.Detach();
    Take(fd);
    // path_ still holds the name that OpenIfMoved opened.
    written_ = platform::EntryIn(directory_.Get(), path_.CStr()).size;
    StartExpectedSize(written_);
}

bool LogFile::FollowTruncation() {
    const int64_t onDisk = platform::FileSizeOfOpen(stream_.Descriptor());
    if (onDisk < 0) {
        return false;
    }
    const int64_t size = onDisk + stream_.ContentLength();
    const int64_t delivered = DeliveredSoFar();
    expectedSize_ += delivered - deliveredSeen_;
    deliveredSeen_ = delivered;
    // Another writer (a forked child) makes the file longer, never shorter.
    const bool cut = onDisk < expectedSize_;
    if (cut) {
        expectedSize_ = onDisk;
        written_ = size;
    }
    return cut;
}

}  // namespace vosk
