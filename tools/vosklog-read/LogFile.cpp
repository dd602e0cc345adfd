#include "LogFile.h"

#include <utility>

#include "platform/Files.h"

namespace vosklogread {

LogFile& LogFile::operator=(LogFile&& other) noexcept {
    if (this != &other) {
        Close();
        kind = other.kind;
        path = std::move(other.path);
        compressed = other.compressed;
        hasCompressed = other.hasCompressed;
        timeMs = other.timeMs;
        sequence = other.sequence;
        fd = other.TakeFd();
        status = other.status;
    }
    return *this;
}

int LogFile::TakeFd() {
    const int taken = fd;
    fd = -1;
    return taken;
}

void LogFile::Close() {
    if (fd >= 0) {
        vosk::platform::FileClose(fd);
        fd = -1;
    }
}

}  // namespace vosklogread
