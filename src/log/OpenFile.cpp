#include "log/OpenFile.h"

#include "platform/Files.h"
#include "text/FileStream.h"

namespace vosk {

OpenFile::~OpenFile() {
    if (fd_ >= 0) {
        platform::FileClose(fd_);
    }
}

void OpenFile::WriteAside(const char* data, size_t size) {
    const size_t written = FileStream::WriteOutside(fd_, data, size);
    deliveredAside_.fetch_add(static_cast<int64_t>(written), std::memory_order_relaxed);
    if (written != 0 && written != size) {
        cutLine_.store(true, std::memory_order_relaxed);
    }
}

}  // namespace vosk
