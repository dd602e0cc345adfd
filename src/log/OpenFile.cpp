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
    const size_t written = FileStream::WriteOutside(fd_, data, size);
    // Only the line end missing: the record is whole in the file, and the
    // next bytes, on a line of their own, end it.
    const bool whole =
        written == size || (written != 0 && written == size - 1 && data[written] == '\n');
    const int error = whole ? 0 : errno != 0 ? errno : EIO;
    deliveredAside_.fetch_add(static_cast<int64_t>(written), std::memory_order_relaxed);
    if (written != 0 && written != size) {
        cutLine_.store(true, std::memory_order_relaxed);
    }
    return error;
}

}  // namespace vosk
