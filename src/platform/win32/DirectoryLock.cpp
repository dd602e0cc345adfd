#include "platform/Files.h"

namespace vosk::platform {

void DirectoryLockRelease(int) {}

}  // namespace vosk::platform
