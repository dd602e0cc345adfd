// The bytes of one opened file of a log, plain or gzip, as far as they
// are written: reading again later gives what was added meanwhile. The
// file stays open, so that it is read to its end whatever happens to its
// name (moved to the backup, to the archive, compressed and deleted).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ContentKey.h"
#include "LogFile.h"
#include "platform/FileRead.h"

namespace vosklogread {

class FileInput {
  public:
    // Takes file's descriptor when it has one; otherwise opens its path,
    // or its ".gz" when the plain file has gone meanwhile. Null when
    // neither can be opened (pruned meanwhile).
    static std::unique_ptr<FileInput> Open(LogFile* file);

    ~FileInput();
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;

    // Up to size bytes: the count; 0 at the end written so far; negative
    // once, when the file cannot be read on (a damaged gzip file), and 0
    // from then on.
    long Read(char* data, size_t size);
    // A plain file now shorter than what was read (cut by copytruncate):
    // reading starts again at its beginning. True when it did.
    bool RestartIfShorter();

    // Whether the file begins with head, looked at before reading starts
    // (reading then starts at the beginning still).
    bool BeginsWith(const std::string& head);

    const vosk::platform::FileId& Id() const { return status_.id; }
    // The first bytes read (up to kHeadBytes) and how many were read.
    static constexpr size_t kHeadBytes = 64;
    const std::string& Head() const { return head_; }
    int64_t Consumed() const { return consumed_; }
    ContentKey Key() const { return keeper_.Key(); }
    const std::string& Path() const { return path_; }
    bool Compressed() const { return gz_ != nullptr; }

  private:
    FileInput(int fd, bool compressed, std::string path);

    int fd_ = -1;
    void* gz_ = nullptr;  // the gzFile of a compressed one
    std::string path_;
    vosk::platform::FileStatus status_{};
    int64_t consumed_ = 0;
    bool failed_ = false;
    std::string head_;
    ContentKeeper keeper_;
};

}  // namespace vosklogread
