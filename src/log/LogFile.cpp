#include "log/LogFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "log/LogFiles.h"
#include "platform/Files.h"

namespace vosk {

int32_t NumberedNameProbe::Choose(const char* directory, const char* name, const std::tm& now,
                                  int32_t limit, StringBuffer& path) {
    const int quarter = now.tm_min / 15 + 1;
    // The numbered name is the path's part after "<directory>/".
    const int32_t nameStart = static_cast<int32_t>(strlen(directory)) + 1;
    for (int probe = 0; probe < kProbes; ++probe) {
        int32_t n = sequence_;
        sequence_ = sequence_ == INT32_MAX ? 1 : sequence_ + 1;
        path.Format("%s/%s_%02d%02d[%03d].log", directory, name, now.tm_hour, quarter, n);
        const char* probed = path.CStr();
        const char* numbered = path.Length() > nameStart ? probed + nameStart : "";
        if (last_ == numbered) {
            continue;
        }
        int32_t size = FileSize(probed);
        if (size >= limit) {
            continue;
        }
        last_.Assign(numbered);
        return size;
    }
    return 0;
}

LogFile::~LogFile() {
    int fd = stream_.Descriptor();
    if (fd != FileStream::kNoDescriptor) {
        platform::FileClose(fd);
    }
}

void LogFile::Close() {
    int fd = stream_.Descriptor();
    stream_.Detach();
    if (fd != FileStream::kNoDescriptor) {
        platform::FileClose(fd);
    }
}

void LogFile::CloseDiscarding() {
    int fd = stream_.Descriptor();
    stream_.Attach(FileStream::kNoDescriptor);
    if (fd != FileStream::kNoDescriptor) {
        platform::FileClose(fd);
    }
}

void LogFile::PrepareOpen(const char* directory, int32_t limit) {
    MakeParentDirectories(directory);
    platform::DirectoryMake(directory);
    written_ = limit;
}

void LogFile::Open(const char* directory, const char* name, const std::tm& now, int32_t limit) {
    // The file this log had open, to tell whether another process (a forked
    // child, another program given the same path) has moved it since.
    platform::FileId had{};
    const bool hadFile = IsOpen() && platform::FileIdOf(stream_.Descriptor(), &had);
    if (IsOpen()) {
        Close();
    }
    written_ = probe_.Choose(directory, name, now, limit, path_);

    path_.Format("%s/%s", directory, name);
    const char* path = path_.CStr();
    // Appending, never emptying: a file that another process started at the
    // path a moment ago keeps what it wrote there.
    constexpr int kCreate = platform::kOpenCreate | platform::kOpenAppend;
    backupRetryMs_ = 0;
    int fd = FileStream::kNoDescriptor;
    // One process at a time moves the file and opens the next; otherwise
    // each would move the other's fresh file, or find its own move failing
    // and wait for the retry while the file grows past its limit.
    const int lock = platform::DirectoryLockTake(directory);
    platform::FileId atPath{};
    if (hadFile && (!platform::PathFileId(path, &atPath) || !(atPath == had))) {
        // Moved already by another process: what is at the path now is its
        // successor, continued rather than moved again. Records written
        // into the moved file stay there.
        if (!PathExists(path) || platform::PathIsPlainFile(path)) {
            fd = OpenCreating(path, kCreate);
        }
    } else if (platform::PathIsPlainFile(path)) {
        // The backup replaces the old one in one step, so a move that
        // fails (a read-only directory, a directory with the backup's
        // name, on Windows a reader that holds the file) keeps both. The
        // file is then continued rather than emptied, and the move is
        // tried again after a wait.
        backupPath_.Format("%s.bak", path);
        archive_.Keep(directory, name, backupPath_.CStr());
        if (platform::FileRename(path, backupPath_.CStr())) {
            ++moves_;
            if (listener_ != nullptr) {
                listener_->OnRotated(backupPath_.CStr());
            }
            fd = OpenCreating(path, kCreate);
        } else {
            backupRetryMs_ = clock_->MonotonicMs() + kBackupRetryMs;
            fd = OpenCreating(path, platform::kOpenCreate | platform::kOpenAppend);
            if (fd != FileStream::kNoDescriptor) {
                written_ = FileSize(path);
            }
        }
    } else if (!PathExists(path)) {
        fd = OpenCreating(path, kCreate);
    } else {
        errno = EEXIST;
    }
    openError_ = fd == FileStream::kNoDescriptor ? errno : 0;
    platform::DirectoryLockRelease(lock);
    // A file that another process started counts from its size.
    const int64_t size = fd == FileStream::kNoDescriptor ? 0 : FileSize(path);
    if (size > written_) {
        written_ = size;
    }
    // Anything else at the path (a directory, a link, a FIFO, a device) is
    // not the log's: it is neither moved nor opened, records are dropped
    // and the next open looks again.
    if (fd == FileStream::kNoDescriptor) {
        written_ = limit;
    }
    stream_.Attach(fd);
    StartExpectedSize(size);
}

int64_t LogFile::DeliveredSoFar() const {
    return stream_.Delivered() + deliveredAside_.load(std::memory_order_relaxed);
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
    if (fd == FileStream::kNoDescriptor || !platform::FileIdOf(fd, &open)) {
        return FileStream::kNoDescriptor;
    }
    path_.Format("%s/%s", directory, name);
    const char* path = path_.CStr();
    platform::FileId atPath;
    if (!evenIfThere && platform::PathFileId(path, &atPath) && atPath == open) {
        return FileStream::kNoDescriptor;
    }
    // Removed, renamed away (as a log rotation tool does), or its
    // directory gone: records would follow the file out of sight. A file
    // that someone put at the path meanwhile is continued, not emptied.
    // Until the path can be opened the old file keeps them.
    if (PathExists(path) && !platform::PathIsPlainFile(path)) {
        return FileStream::kNoDescriptor;
    }
    return OpenCreating(path, platform::kOpenCreate | platform::kOpenAppend);
}

void LogFile::ReplaceWith(int fd) {
    int old = stream_.Descriptor();
    stream_.Detach();
    if (old != FileStream::kNoDescriptor) {
        platform::FileClose(old);
    }
    stream_.Attach(fd);
    // path_ still holds the path that OpenIfMoved opened.
    written_ = FileSize(path_.CStr());
    StartExpectedSize(written_);
}

bool LogFile::FollowTruncation() {
    int fd = stream_.Descriptor();
    struct stat st;
    if (fd == FileStream::kNoDescriptor || fstat(fd, &st) != 0) {
        return false;
    }
    const int64_t size = static_cast<int64_t>(st.st_size) + stream_.ContentLength();
    const int64_t delivered = DeliveredSoFar();
    expectedSize_ += delivered - deliveredSeen_;
    deliveredSeen_ = delivered;
    // Another writer (a forked child) makes the file longer, never shorter.
    const bool cut = st.st_size < expectedSize_;
    if (cut) {
        expectedSize_ = st.st_size;
        written_ = size;
    }
    return cut;
}

}  // namespace vosk
