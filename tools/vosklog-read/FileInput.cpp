#include "FileInput.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/Files.h"

namespace vosklogread {

std::unique_ptr<FileInput> FileInput::Open(LogFile* file) {
    int fd = file->TakeFd();
    bool compressed = file->compressed;
    std::string path = file->path;
    if (fd < 0) {
        fd = vosk::platform::FileOpenRead(path.c_str());
    }
    // Compressed and deleted since it was found.
    if (fd < 0 && !compressed && file->kind == FileKind::kArchive) {
        path += ".gz";
        compressed = true;
        fd = vosk::platform::FileOpenRead(path.c_str());
    }
    if (fd < 0) {
        return nullptr;
    }
    std::unique_ptr<FileInput> input(new FileInput(fd, compressed, std::move(path)));
    if (compressed && input->gz_ == nullptr) {
        return nullptr;
    }
    return input;
}

FileInput::FileInput(int fd, bool compressed, std::string path) : fd_(fd), path_(std::move(path)) {
    vosk::platform::FileStatusOf(fd_, &status_);
    if (compressed) {
        // zlib owns the descriptor from here and closes it.
        gzFile gz = gzdopen(fd_, "rb");
        if (gz == nullptr) {
            vosk::platform::FileClose(fd_);
        } else {
            gzbuffer(gz, 128 * 1024);
        }
        gz_ = gz;
        fd_ = -1;
    }
}

FileInput::~FileInput() {
    if (gz_ != nullptr) {
        gzclose(static_cast<gzFile>(gz_));
    }
    if (fd_ >= 0) {
        vosk::platform::FileClose(fd_);
    }
}

long FileInput::Read(char* data, size_t size) {
    if (failed_) {
        return 0;
    }
    const unsigned n = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    long got;
    if (gz_ != nullptr) {
        got = gzread(static_cast<gzFile>(gz_), data, n);
        // A file cut short ends without an error of its own: zlib says so.
        int error = Z_OK;
        if (got == 0 && (gzerror(static_cast<gzFile>(gz_), &error), error != Z_OK)) {
            got = -1;
        }
    } else {
        got = vosk::platform::FileRead(fd_, data, n);
    }
    if (got > 0) {
        keeper_.Add(data, static_cast<size_t>(got));
        if (head_.size() < kHeadBytes) {
            head_.append(data, std::min(kHeadBytes - head_.size(), static_cast<size_t>(got)));
        }
        consumed_ += got;
    }
    failed_ = got < 0;
    return got;
}

bool FileInput::RestartIfShorter() {
    vosk::platform::FileStatus now;
    if (gz_ != nullptr || !vosk::platform::FileStatusOf(fd_, &now) || now.size >= consumed_ ||
        !vosk::platform::FileSeek(fd_, 0)) {
        return false;
    }
    consumed_ = 0;
    keeper_.Reset();
    head_.clear();
    return true;
}

}  // namespace vosklogread

namespace vosklogread {

bool FileInput::BeginsWith(const std::string& head) {
    if (consumed_ != 0 || failed_) {
        return false;
    }
    std::string start(head.size(), '\0');
    size_t got = 0;
    while (got < start.size()) {
        const long n = gz_ != nullptr
                           ? gzread(static_cast<gzFile>(gz_), &start[got],
                                    static_cast<unsigned>(start.size() - got))
                           : vosk::platform::FileRead(fd_, &start[got], start.size() - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    const bool rewound =
        gz_ != nullptr ? gzrewind(static_cast<gzFile>(gz_)) == 0 : vosk::platform::FileSeek(fd_, 0);
    failed_ = !rewound;
    return rewound && got == start.size() && start == head;
}

}  // namespace vosklogread
