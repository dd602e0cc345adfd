#include "platform/DirectoryLock.h"

namespace vosk::platform {

// No fork on Windows, and two programs appending to one file are the
// README's case: the rotation goes on unlocked.
DirectoryLock::DirectoryLock(const HeldDirectory*) {}

DirectoryLock::~DirectoryLock() = default;

}  // namespace vosk::platform
