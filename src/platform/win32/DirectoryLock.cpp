#include "platform/Files.h"

namespace vosk::platform {

int DirectoryLockTake(const char*) {
    return kNoDirectoryLock;
}

void DirectoryLockRelease(int) {}

}  // namespace vosk::platform
