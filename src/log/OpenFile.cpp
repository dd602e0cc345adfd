#include "log/OpenFile.h"

#include <cerrno>

#include "platform/Files.h"
#include "text/FileStream.h"

namespace vosk {

OpenFile::~OpenFile() {
    if (fd_ >= 0) {
        platform::FileClose(fd_);
    }
}

int OpenFile::WriteAside(const char* data, size_t size) {
    errno = 0;
    const FileStream::GatedWrite w = FileStream::WriteOutside(gate_, fd_, data, size);
    // Only the line end missing: the record is whole in the file, and the
    // next bytes, on a line of their own, end it.
    const bool whole = w.whole || w.cutBeforeLineEnd;
    const int error = whole ? 0 : errno != 0 ? errno : EIO;
    deliveredAside_.fetch_add(static_cast<int64_t>(w.delivered), std::memory_order_relaxed);
    return error;
}

}  // namespace vosk
