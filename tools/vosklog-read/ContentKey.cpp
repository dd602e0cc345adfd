#include "ContentKey.h"

#include <zlib.h>

#include "platform/FileRead.h"
#include "platform/Files.h"

namespace vosklogread {

void ContentKeeper::Add(const char* data, size_t size) {
    for (size_t i = 0; i < size && size_ + i < kHeadBytes; ++i) {
        hash_ ^= static_cast<unsigned char>(data[i]);
        hash_ *= 1099511628211ULL;
    }
    size_ += size;
}

namespace {

// The last four bytes of a gzip member: the length it holds, modulo 2^32,
// least significant byte first. Leaves fd at the file's start.
bool TrailerLength(int fd, uint32_t* length) {
    vosk::platform::FileStatus status;
    unsigned char trailer[4];
    if (!vosk::platform::FileStatusOf(fd, &status) || status.size < 18 ||
        !vosk::platform::FileSeek(fd, status.size - 4) ||
        vosk::platform::FileRead(fd, trailer, 4) != 4 || !vosk::platform::FileSeek(fd, 0)) {
        return false;
    }
    *length = static_cast<uint32_t>(trailer[0]) | (static_cast<uint32_t>(trailer[1]) << 8) |
              (static_cast<uint32_t>(trailer[2]) << 16) | (static_cast<uint32_t>(trailer[3]) << 24);
    return true;
}

}  // namespace

bool PlainContentKey(const std::string& path, ContentKey* key) {
    const int fd = vosk::platform::FileOpenRead(path.c_str());
    if (fd < 0) {
        return false;
    }
    vosk::platform::FileStatus status;
    char head[ContentKeeper::kHeadBytes];
    size_t got = 0;
    long n = 1;
    while (got < sizeof(head) &&
           (n = vosk::platform::FileRead(fd, head + got, sizeof(head) - got)) > 0) {
        got += static_cast<size_t>(n);
    }
    const bool known = n >= 0 && vosk::platform::FileStatusOf(fd, &status);
    vosk::platform::FileClose(fd);
    if (!known) {
        return false;
    }
    ContentKeeper keeper;
    keeper.Add(head, got);
    *key = keeper.Key();
    key->size = static_cast<uint32_t>(status.size);
    return true;
}

bool CompressedContentKey(const std::string& path, ContentKey* key) {
    const int fd = vosk::platform::FileOpenRead(path.c_str());
    if (fd < 0) {
        return false;
    }
    uint32_t length = 0;
    if (!TrailerLength(fd, &length)) {
        vosk::platform::FileClose(fd);
        return false;
    }
    gzFile gz = gzdopen(fd, "rb");
    if (gz == nullptr) {
        vosk::platform::FileClose(fd);
        return false;
    }
    char head[ContentKeeper::kHeadBytes];
    int n = 0;
    int got = 0;
    while (got < static_cast<int>(sizeof(head)) &&
           (n = gzread(gz, head + got, static_cast<unsigned>(sizeof(head)) - got)) > 0) {
        got += n;
    }
    gzclose(gz);
    if (n < 0) {
        return false;
    }
    ContentKeeper keeper;
    keeper.Add(head, static_cast<size_t>(got));
    ContentKey found = keeper.Key();
    found.size = length;
    *key = found;
    return true;
}

}  // namespace vosklogread
